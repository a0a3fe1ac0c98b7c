#pragma once

#include <QString>
#include <string>

/// The flow's UTF-8 text `text` for Qt; CR LF in it is a line break to a box.
inline QString FromFlow(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).replace("\r\n", "\n");
}
