#include "io/detail/text_tokens.h"

#include <algorithm>
#include <cctype>
#include <cstring>

std::vector<std::string> splitTokens(const std::string& line, const char* separators) {
  std::vector<std::string> tokens;
  std::string token;
  for (char c : line) {
    if (c != '\0' && std::strchr(separators, c) != nullptr) {
      if (!token.empty())
        tokens.push_back(token);
      token.clear();
    } else {
      token += c;
    }
  }
  if (!token.empty())
    tokens.push_back(token);
  return tokens;
}

bool isDecimalNumber(const std::string& token, bool integer) {
  std::size_t i = token[0] == '+' || token[0] == '-' ? 1 : 0;
  const auto digits = [&] {
    const std::size_t start = i;
    while (i < token.size() && token[i] >= '0' && token[i] <= '9')
      ++i;
    return i - start;
  };
  std::size_t mantissa = digits();
  if (integer)
    return mantissa > 0 && i == token.size();
  if (i < token.size() && token[i] == '.') {
    ++i;
    mantissa += digits();
  }
  if (mantissa == 0)
    return false;
  if (i < token.size() && (token[i] == 'e' || token[i] == 'E')) {
    ++i;
    if (i < token.size() && (token[i] == '+' || token[i] == '-'))
      ++i;
    if (digits() == 0)
      return false;
  }
  return i == token.size();
}

bool isInfinityOrNan(const std::string& token) {
  std::string word = token.substr(token[0] == '+' || token[0] == '-' ? 1 : 0);
  std::transform(word.begin(), word.end(), word.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return word == "inf" || word == "infinity" || word == "nan";
}
