#include "settings/TextToInteger.h"

#include <QStringView>
#include <limits>

namespace {

std::optional<int> digitValue(QChar c, int base) {
  const char16_t u = c.unicode();
  int value = base;
  if (u >= '0' && u <= '9') {
    value = u - '0';
  } else if (u >= 'a' && u <= 'f') {
    value = u - 'a' + 10;
  } else if (u >= 'A' && u <= 'F') {
    value = u - 'A' + 10;
  }
  if (value >= base) return std::nullopt;
  return value;
}

// The magnitude of the digits, or nothing when there are none, one is no
// digit of the base, or the magnitude passes limit.
std::optional<int64_t> parseMagnitude(QStringView digits, int base, int64_t limit) {
  if (digits.isEmpty()) return std::nullopt;
  int64_t magnitude = 0;
  for (const QChar c : digits) {
    const auto digit = digitValue(c, base);
    if (!digit) return std::nullopt;
    magnitude = magnitude * base + *digit;
    if (magnitude > limit) return std::nullopt;
  }
  return magnitude;
}

}  // namespace

std::optional<int32_t> TextToInteger(const QString& text) {
  QStringView rest(text);
  const bool negative = rest.startsWith(u'-');
  if (negative || rest.startsWith(u'+')) rest = rest.sliced(1);

  int base = 10;
  if (rest.startsWith(u'$')) {
    base = 16;
    rest = rest.sliced(1);
  } else if (text.size() > 2 && rest.startsWith(u"0x", Qt::CaseInsensitive)) {
    base = 16;
    rest = rest.sliced(2);
  }

  const int64_t limit = negative ? -int64_t{std::numeric_limits<int32_t>::min()}
                                 : int64_t{std::numeric_limits<int32_t>::max()};
  const auto magnitude = parseMagnitude(rest, base, limit);
  if (!magnitude) return std::nullopt;
  return static_cast<int32_t>(negative ? -*magnitude : *magnitude);
}
