#pragma once
// Splits one line of a host script into tokens. Lines are UTF-8; tokens are UTF-16, the
// hosts' own text form.
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::script {

struct Token {
  std::u16string text;
  bool quoted = false;
};

// A line no host can run; the message names what is wrong, not the line number.
class SyntaxError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Blanks (space, tab) separate tokens. A token in double quotes may hold blanks and the
// escapes \" \\ \r \n \t \b and \uXXXX (one UTF-16 code unit). A blank line or a line
// whose first non-blank character is '#' gives no tokens. A trailing carriage return is
// dropped, so files with CRLF line ends read the same.
std::vector<Token> Tokenize(std::string_view line);

}  // namespace velmora::script
