// The options dialog's device usage meter: the same usage strip the synchronize dialog shows,
// placed above the property sheet.
#pragma once

#include <memory>

#include "ui/options_host.h"

std::unique_ptr<COptionsMeter> makeDeviceUsageMeter();
