// String and dialog ids of: Drive detection and the USB monitor. Only #define lines (see ids.h).
#pragma once
