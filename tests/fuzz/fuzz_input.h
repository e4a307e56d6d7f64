// Splits one fuzzer input into several texts: the parts are separated by the byte 0x00, which no
// Text can hold anyway.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline std::vector<std::string> SplitFuzzInput(const std::uint8_t* data, std::size_t size,
                                               std::size_t parts) {
  std::vector<std::string> out(parts);
  std::size_t k = 0;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0 && k + 1 < parts) {
      ++k;
    } else if (data[i] != 0) {
      out[k].push_back(static_cast<char>(data[i]));
    }
  }
  return out;
}
