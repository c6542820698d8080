// CFile, CStdioFile and CArchive over real files of a test host: open modes and their errors,
// sharing, positions and lengths, text mode with CR LF, and archive errors naming the file.
#include "platform/afx/file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <ostream>

#include "platform/afx/archive.h"
#include "platform/base/fault.h"
#include "platform/win32/error.h"
#include "tests/support/test_host.h"

void PrintTo(const CString& s, std::ostream* os) { *os << '"' << platform::text::toUtf8(s.view()) << '"'; }

namespace {

std::string hostBytes(const kipotest::TestHost& host, const std::string& relative) {
  std::ifstream in(host.c(relative), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void putHostBytes(const kipotest::TestHost& host, const std::string& relative, const std::string& bytes) {
  std::ofstream(host.c(relative), std::ios::binary) << bytes;
}

// Runs `body`, which must throw a CFileException; returns its cause (-1 when nothing was thrown).
int fileCause(const std::function<void()>& body, CString* fileName = nullptr) {
  try {
    body();
  } catch (CFileException* e) {
    const int cause = e->m_cause;
    if (fileName) *fileName = e->m_strFileName;
    e->Delete();
    return cause;
  }
  return -1;
}

TEST(CFile, OpenFailureFillsTheExceptionArgument) {
  kipotest::TestHost host;
  CFile file;
  CFileException error;
  EXPECT_FALSE(file.Open(u"C:\\missing.dat", CFile::modeRead, &error));
  EXPECT_EQ(error.m_cause, CFileException::fileNotFound);
  EXPECT_EQ(error.m_lOsError, static_cast<LONG>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(error.m_strFileName, u"C:\\missing.dat");
  EXPECT_EQ(file.m_hFile, CFile::hFileNull);

  EXPECT_FALSE(file.Open(u"C:\\no such folder\\x.dat", CFile::modeCreate | CFile::modeWrite, &error));
  EXPECT_EQ(error.m_cause, CFileException::badPath);

  CString name;
  EXPECT_EQ(fileCause([] { CFile opened(u"C:\\missing.dat", CFile::modeRead); }, &name), CFileException::fileNotFound);
  EXPECT_EQ(name, u"C:\\missing.dat");
}

TEST(CFile, WriteSeekReadLengthAndNames) {
  kipotest::TestHost host;
  CFile file(u"C:\\data\\..\\notes.txt", CFile::modeCreate | CFile::modeReadWrite | CFile::shareExclusive);
  EXPECT_EQ(file.GetFileName(), u"notes.txt");
  EXPECT_EQ(file.GetFileTitle(), u"notes");
  EXPECT_EQ(file.GetFilePath(), u"C:\\notes.txt") << "the path is kept in its full form";
  file.Write("hello world", 11);
  EXPECT_EQ(file.GetPosition(), 11u);
  EXPECT_EQ(file.GetLength(), 11u);
  EXPECT_EQ(file.Seek(-5, CFile::end), 6u);
  char buffer[16] = {};
  EXPECT_EQ(file.Read(buffer, sizeof buffer), 5u);
  EXPECT_STREQ(buffer, "world");
  EXPECT_EQ(file.Read(buffer, sizeof buffer), 0u) << "at the end Read returns 0";
  file.SetLength(5);
  EXPECT_EQ(file.GetLength(), 5u);
  file.SeekToBegin();
  EXPECT_EQ(file.SeekToEnd(), 5u);
  file.Flush();
  file.Close();
  EXPECT_EQ(file.m_hFile, CFile::hFileNull);
  EXPECT_EQ(hostBytes(host, "notes.txt"), "hello");

  EXPECT_EQ(fileCause([&] { file.Seek(-1, CFile::begin); }), CFileException::fileNotFound)
      << "a closed CFile has no handle (ERROR_INVALID_HANDLE)";
}

TEST(CFile, CreateTruncatesUnlessNoTruncate) {
  kipotest::TestHost host;
  putHostBytes(host, "keep.txt", "old contents");
  {
    CFile file(u"C:\\keep.txt", CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite);
    EXPECT_EQ(file.GetLength(), 12u);
  }
  EXPECT_EQ(hostBytes(host, "keep.txt"), "old contents");
  {
    CFile file(u"C:\\keep.txt", CFile::modeCreate | CFile::modeWrite);
    EXPECT_EQ(file.GetLength(), 0u);
  }
  EXPECT_EQ(hostBytes(host, "keep.txt"), "");
}

TEST(CFile, ShareModesAreObeyed) {
  kipotest::TestHost host;
  putHostBytes(host, "shared.txt", "x");
  struct Case {
    UINT first;
    UINT second;
    bool secondOpens;
  } cases[] = {
      {CFile::modeRead | CFile::shareExclusive, CFile::modeRead | CFile::shareDenyNone, false},
      {CFile::modeRead | CFile::shareDenyWrite, CFile::modeRead | CFile::shareDenyNone, true},
      {CFile::modeRead | CFile::shareDenyWrite, CFile::modeWrite | CFile::shareDenyNone, false},
      {CFile::modeRead | CFile::shareDenyNone, CFile::modeWrite | CFile::shareDenyNone, true},
  };
  for (const Case& c : cases) {
    CFile first(u"C:\\shared.txt", c.first);
    CFile second;
    CFileException error;
    EXPECT_EQ(second.Open(u"C:\\shared.txt", c.second, &error) != FALSE, c.secondOpens)
        << std::hex << c.first << " then " << c.second;
    if (!c.secondOpens) {
      EXPECT_EQ(error.m_cause, CFileException::sharingViolation);
    }
  }
}

TEST(CFile, RemoveAndRenameThrowOnFailure) {
  kipotest::TestHost host;
  putHostBytes(host, "a.txt", "a");
  CFile::Rename(u"C:\\a.txt", u"C:\\b.txt");
  EXPECT_EQ(hostBytes(host, "b.txt"), "a");
  CFile::Remove(u"C:\\b.txt");
  EXPECT_FALSE(std::filesystem::exists(host.c("b.txt")));
  CString name;
  EXPECT_EQ(fileCause([] { CFile::Remove(u"C:\\b.txt"); }, &name), CFileException::fileNotFound);
  EXPECT_EQ(name, u"C:\\b.txt");
  EXPECT_EQ(fileCause([] { CFile::Rename(u"C:\\none.txt", u"C:\\c.txt"); }), CFileException::fileNotFound);
}

TEST(CFile, InjectedWriteFailureReachesTheArchiveAsAFileException) {
  kipotest::TestHost host;
  CFile file(u"C:\\snap.dat", CFile::modeCreate | CFile::modeWrite);
  platform::fault::Fault fault;
  fault.call = "WriteFile";
  fault.error = ERROR_DISK_FULL;
  const auto id = platform::fault::inject(fault);
  CString name;
  LONG osError = 0;
  try {
    CArchive ar(&file, CArchive::store);
    ar << CString(u"data");
    ar.Close();
    ADD_FAILURE() << "the write succeeded";
  } catch (CFileException* e) {
    EXPECT_EQ(e->m_cause, CFileException::diskFull);
    osError = e->m_lOsError;
    name = e->m_strFileName;
    e->Delete();
  }
  platform::fault::removeLocal(id);
  EXPECT_EQ(osError, static_cast<LONG>(ERROR_DISK_FULL));
  EXPECT_EQ(name, u"C:\\snap.dat");
}

TEST(CStdioFile, TextModeWritesCrLfInTheAnsiCodePageAndReadsLines) {
  kipotest::TestHost host;
  {
    CStdioFile out(u"C:\\lines.txt", CFile::modeCreate | CFile::modeWrite | CFile::typeText);
    out.WriteString(u"first line\n");
    out.WriteString(u"café\r\n");  // an explicit CR before LF is written as it is
    out.WriteString(u"no newline");
  }
  EXPECT_EQ(hostBytes(host, "lines.txt"), "first line\r\ncaf\xe9\r\r\nno newline");

  putHostBytes(host, "read.txt", "one\r\ntwo\n\r\nlone\rcr\r\nafter\x1Ahidden");
  CStdioFile in(u"C:\\read.txt", CFile::modeRead | CFile::typeText);
  std::vector<CString> lines;
  CString line;
  while (in.ReadString(line)) lines.push_back(line);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], u"one");
  EXPECT_EQ(lines[1], u"two");
  EXPECT_EQ(lines[2], u"");
  EXPECT_EQ(lines[3], u"lone\rcr") << "only CR LF pairs are translated";
  EXPECT_EQ(lines[4], u"after") << "Ctrl-Z ends text";
  EXPECT_TRUE(line.IsEmpty());

  in.SeekToBegin();
  WCHAR buffer[5];
  ASSERT_NE(in.ReadString(buffer, 5), nullptr);
  EXPECT_EQ(CString(buffer), u"one\n") << "the buffer form keeps the line end as LF";
  ASSERT_NE(in.ReadString(buffer, 3), nullptr);
  EXPECT_EQ(CString(buffer), u"tw") << "cut at nMax - 1";
  EXPECT_EQ(in.GetPosition(), 7u) << "position counts what was consumed, not what was read ahead";

  char raw[8] = {};
  EXPECT_EQ(in.Read(raw, 7), 7u);
  EXPECT_STREQ(raw, "o\n\nlone") << "Read translates CR LF too";
}

TEST(CStdioFile, WriteAfterReadContinuesWhereTheReaderIs) {
  kipotest::TestHost host;
  putHostBytes(host, "mixed.txt", "ab\r\ncd\r\n");
  {
    CStdioFile file(u"C:\\mixed.txt", CFile::modeReadWrite | CFile::typeText);
    CString line;
    ASSERT_TRUE(file.ReadString(line));
    const char text[] = "X\n";
    file.Write(text, 2);
  }
  EXPECT_EQ(hostBytes(host, "mixed.txt"), "ab\r\nX\r\n\n");
}

TEST(CStdioFile, BinaryModeIsUtf16Untranslated) {
  kipotest::TestHost host;
  {
    CStdioFile out(u"C:\\wide.txt", CFile::modeCreate | CFile::modeWrite | CFile::typeBinary);
    out.WriteString(u"é\n");
  }
  EXPECT_EQ(hostBytes(host, "wide.txt"), std::string("\xe9\0\n\0", 4));
  CStdioFile in(u"C:\\wide.txt", CFile::modeRead | CFile::typeBinary);
  CString line;
  ASSERT_TRUE(in.ReadString(line));
  EXPECT_EQ(line, u"é");
  EXPECT_FALSE(in.ReadString(line));
}

TEST(CArchive, OverARealFileAndErrorsNameTheFile) {
  kipotest::TestHost host;
  {
    CFile file(u"C:\\Profiles.dat", CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive);
    CArchive ar(&file, CArchive::store, 4096);
    ar << static_cast<DWORD>(100) << CString(u"ALPHA");
    ar.Close();
    file.Close();
  }
  EXPECT_EQ(hostBytes(host, "Profiles.dat"), std::string("d\0\0\0\xff\xfe\xff\x05" "A\0L\0P\0H\0A\0", 18));

  CFile file(u"C:\\Profiles.dat", CFile::modeRead | CFile::shareExclusive);
  CArchive ar(&file, CArchive::load, 4096);
  DWORD version = 0;
  CString name;
  ar >> version >> name;
  EXPECT_EQ(version, 100u);
  EXPECT_EQ(name, u"ALPHA");
  try {
    ar >> version;
    ADD_FAILURE() << "read past the end";
  } catch (CArchiveException* e) {
    EXPECT_EQ(e->m_cause, CArchiveException::endOfFile);
    EXPECT_EQ(e->m_strFileName, u"C:\\Profiles.dat");
    e->Delete();
  }
}

}  // namespace
