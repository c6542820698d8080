// The entry point of "Kipo.exe": the one application object and the framework's main.
#include "app/kipo/customizer_app.h"

namespace {

CCustomizerApp theApp;

}  // namespace

int main() { return AfxWinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL); }
