// The program's login host and surfaces: the login surface reaches the customizer view and the
// application through CKipoLoginHost, and the view reaches the surfaces of the user interface
// (CUiSurfaces). installLoginSurfaces installs both for the program's run.
#pragma once

class CCustomizerApp;

void installLoginSurfaces(CCustomizerApp& app);
void uninstallLoginSurfaces();
