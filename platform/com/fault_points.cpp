// The fault points of the COM core, joined to the table of fault points when the platform
// library loads (see platform/base/fault.h).
#include "platform/base/fault.h"

namespace {

const platform::fault::Points kComPoints{"CoCreateInstance"};

}  // namespace
