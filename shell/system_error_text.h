#pragma once
#include <cstdint>
#include <string>

// The code right-aligned in five places, followed directly by the system's own text for it
// (with its CR LF), or the number alone when the system has none.
std::string SystemErrorMessageText(std::int32_t code);
