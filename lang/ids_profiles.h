// String and dialog ids of: Pref file, profile database and the computer set-up dialogs. Only #define lines (see ids.h).
#pragma once
