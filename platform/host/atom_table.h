// The host's atom tables in host.db: one for registered window messages and window classes, one
// for global atoms. An atom names the same string in every process of the host; string atoms
// run from 0xC000 to 0xFFFF and are never reused. Each process caches what it has looked up.
#pragma once

#include <string>
#include <string_view>

#include "platform/base/types.h"

namespace platform::host {

enum class AtomTable { Window = 0, Global = 1 };

inline constexpr ATOM kFirstStringAtom = 0xC000;

// The atom of `name` (case-insensitive), added when `add` and absent; 0 when absent and not
// added, when the name is empty or longer than 255 characters, or when the table is full.
ATOM findAtom(AtomTable table, std::u16string_view name, bool add);
// The name of a string atom as first added; empty when the atom is unknown.
std::u16string atomName(AtomTable table, ATOM atom);

}  // namespace platform::host
