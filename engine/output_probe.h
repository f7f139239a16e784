#pragma once
#include <cstdint>
#include <string>

// 1 when a file of that name can be opened for writing, else 0. It never harms an existing
// file and leaves no new file behind.
std::int32_t CanCreateFile(const std::string& name);
