#pragma once
// The one exception type of the core. A host layer turns it into its own failure form
// (DISP_E_EXCEPTION on Windows, an "Error" line in the development host).
#include <cstdint>
#include <stdexcept>
#include <string>

namespace velmora {

class VelmoraError : public std::runtime_error {
 public:
  VelmoraError(std::int32_t number, std::u16string description);

  [[nodiscard]] std::int32_t Number() const { return number_; }
  [[nodiscard]] const std::u16string& Description() const { return description_; }

 private:
  std::int32_t number_;
  std::u16string description_;
};

}  // namespace velmora
