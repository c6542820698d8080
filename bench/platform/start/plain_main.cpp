// The yardstick of the start benchmark: a program with the same C++ runtime as a host program
// but without the platform library.
#include <string>

int main(int argc, char** argv) { return std::string(argv[0]).empty() ? argc : 0; }
