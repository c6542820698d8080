// What every fuzz harness shares: a private simulated host made once per process (removed at
// exit), and files laid under its drive C: for the reader to open by a Windows path.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

namespace kipofuzz {

// Makes the host on first use and leaves it current (KIPO_HOST names it).
void ensureHost();

// Writes the bytes to C:\fuzz\<name> behind the stand-in's back and returns the Windows path.
std::u16string writeFile(const std::string& name, const std::uint8_t* data, std::size_t size);

// The bytes as UTF-16 code units, little-endian (an odd last byte is dropped).
std::u16string utf16Of(const std::uint8_t* data, std::size_t size);

// Waits (up to two seconds) until `done` holds: for a harness's helper threads to finish an
// input's work before the next input.
template <class Done>
void waitUntil(Done done) {
  for (int i = 0; i < 2000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace kipofuzz

// The harness's entry point, called once per input by libFuzzer or by the corpus runner.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
