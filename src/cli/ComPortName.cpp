#include "cli/ComPortName.h"

#include <QRegularExpression>

std::optional<int> ComNumberIn(const QString& port) {
  static const QRegularExpression comPort(QStringLiteral("^COM([0-9]+)$"),
                                          QRegularExpression::CaseInsensitiveOption);
  const QRegularExpressionMatch match = comPort.match(port);
  if (!match.hasMatch()) return std::nullopt;
  bool fits = false;
  const int number = match.captured(1).toInt(&fits);
  return fits ? number : 0;
}
