// String and dialog ids of: The secure-drive layer and the drive dialogs. Only #define lines (see ids.h).
#pragma once
