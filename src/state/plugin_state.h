#pragma once
#include <cstdint>
#include <string>

namespace velmora {

// The values every part of the plug-in shares for as long as the component stays loaded.
struct PluginState {
  std::u16string sUserEmail;  // selects the settings location; kept exactly as given
  std::u16string sNick;       // the nickname template
  std::int16_t nCountType = 0;  // 1 counts up, 2 counts down, 0 none chosen (counts up)
  bool bEnabled = false;
  std::int32_t nDelaySeconds = 0;
  std::u16string sDelayCode;  // "6s" ... "1d", or typed seconds as decimal text
  std::int16_t nRepeat = 0;   // 0 once, 1 every day, 2 week, 3 month, 4 year
  std::u16string sNickDone;   // the template once a single count-down's target has come
  // Target minus now in whole seconds. 64 bits, so targets beyond 68 years still count.
  std::int64_t nSecondsDiff = 0;
};

}  // namespace velmora
