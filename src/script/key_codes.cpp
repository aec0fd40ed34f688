#include "script/key_codes.h"

#include <string_view>

namespace velmora::script {

std::int32_t KeyCodeFor(char16_t c) {
  if (c >= u'0' && c <= u'9') return c;
  if (c >= u'A' && c <= u'Z') return c;
  if (c >= u'a' && c <= u'z') return c - u'a' + u'A';
  switch (c) {
    case u'\b': return kKeyBackspace;
    case u'\t': return 9;
    case u'\r':
    case u'\n': return kKeyEnter;
    case u' ': return 32;
    case u';': case u':': return 186;
    case u'=': case u'+': return 187;
    case u',': case u'<': return 188;
    case u'-': case u'_': return 189;
    case u'.': case u'>': return 190;
    case u'/': case u'?': return 191;
    case u'`': case u'~': return 192;
    case u'[': case u'{': return 219;
    case u'\\': case u'|': return 220;
    case u']': case u'}': return 221;
    case u'\'': case u'"': return 222;
    default: break;
  }
  // Shifted digits share their digit's key.
  constexpr std::u16string_view kShiftedDigits = u")!@#$%^&*(";
  if (const auto at = kShiftedDigits.find(c); at != std::u16string_view::npos) {
    return u'0' + static_cast<std::int32_t>(at);
  }
  return kKeyPacket;
}

}  // namespace velmora::script
