// String and dialog ids of: Switchboard, Windows helpers, folder lookup and installer, customization file. Only #define lines (see ids.h).
#pragma once
