// Outlook's default folder names by language.
#include "platform/com/outlook_folders.h"

#include "platform/win32/locale.h"

namespace platform::com {
namespace {

struct Entry {
  WORD primary;
  OutlookFolderNames names;
};

const Entry kNames[] = {
    {LANG_ENGLISH,
     {u"Top of Personal Folders", u"Inbox", u"Outbox", u"Sent Items", u"Deleted Items", u"Drafts", u"Calendar",
      u"Contacts", u"Tasks", u"Notes", u"Journal"}},
    {LANG_FRENCH,
     {u"Dossiers personnels", u"Bo\u00EEte de r\u00E9ception", u"Bo\u00EEte d'envoi", u"\u00C9l\u00E9ments envoy\u00E9s",
      u"\u00C9l\u00E9ments supprim\u00E9s", u"Brouillons", u"Calendrier", u"Contacts", u"T\u00E2ches", u"Notes",
      u"Journal"}},
    {LANG_GERMAN,
     {u"Pers\u00F6nliche Ordner", u"Posteingang", u"Postausgang", u"Gesendete Objekte", u"Gel\u00F6schte Objekte",
      u"Entw\u00FCrfe", u"Kalender", u"Kontakte", u"Aufgaben", u"Notizen", u"Journal"}},
    {LANG_SPANISH,
     {u"Carpetas personales", u"Bandeja de entrada", u"Bandeja de salida", u"Elementos enviados",
      u"Elementos eliminados", u"Borradores", u"Calendario", u"Contactos", u"Tareas", u"Notas", u"Diario"}},
    {LANG_ITALIAN,
     {u"Cartelle personali", u"Posta in arrivo", u"Posta in uscita", u"Posta inviata", u"Posta eliminata", u"Bozze",
      u"Calendario", u"Contatti", u"Attivit\u00E0", u"Note", u"Diario"}},
    {LANG_DUTCH,
     {u"Persoonlijke mappen", u"Postvak IN", u"Postvak UIT", u"Verzonden items", u"Verwijderde items", u"Concepten",
      u"Agenda", u"Contactpersonen", u"Taken", u"Notities", u"Logboek"}},
    {LANG_PORTUGUESE,
     {u"Pastas pessoais", u"Caixa de entrada", u"Caixa de sa\u00EDda", u"Itens enviados", u"Itens exclu\u00EDdos",
      u"Rascunhos", u"Calend\u00E1rio", u"Contatos", u"Tarefas", u"Anota\u00E7\u00F5es", u"Di\u00E1rio"}},
    {LANG_JAPANESE,
     {u"\u500B\u4EBA\u7528\u30D5\u30A9\u30EB\u30C0", u"\u53D7\u4FE1\u30C8\u30EC\u30A4", u"\u9001\u4FE1\u30C8\u30EC\u30A4",
      u"\u9001\u4FE1\u6E08\u307F\u30A2\u30A4\u30C6\u30E0", u"\u524A\u9664\u6E08\u307F\u30A2\u30A4\u30C6\u30E0",
      u"\u4E0B\u66F8\u304D", u"\u4E88\u5B9A\u8868", u"\u9023\u7D61\u5148", u"\u4ED5\u4E8B", u"\u30E1\u30E2",
      u"\u5C65\u6B74"}},
};

}  // namespace

const OutlookFolderNames& outlookFolderNames(LANGID language) {
  for (const Entry& e : kNames)
    if (e.primary == PRIMARYLANGID(language)) return e.names;
  return kNames[0].names;
}

const OutlookFolderNames& hostOutlookFolderNames() {
  return outlookFolderNames(static_cast<LANGID>(GetUserDefaultLCID() & 0xFFFF));
}

}  // namespace platform::com
