// The application framework's base in one include: strings, collections, run-time classes,
// exceptions, files and archives.
#pragma once

#include "platform/afx/archive.h"
#include "platform/afx/coll.h"
#include "platform/afx/cstring.h"
#include "platform/afx/exception.h"
#include "platform/afx/file.h"
#include "platform/afx/object.h"
