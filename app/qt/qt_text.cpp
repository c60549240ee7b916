#include "app/qt/qt_text.h"

#include <array>

#include <QFile>

#include "tables/cp1252.h"

namespace passerelle {

namespace {

// Every code point of Windows-1252 lies in the Basic Multilingual Plane, so
// one UTF-16 unit per byte is enough.
std::array<char16_t, 256> MakeUnicodeTable() {
  std::array<char16_t, 256> table{};
  for (int byte = 0; byte < 256; ++byte) {
    table[static_cast<std::size_t>(byte)] =
        static_cast<char16_t>(Cp1252ToUnicode(static_cast<unsigned char>(byte)));
  }
  return table;
}

}  // namespace

QString ToQString(std::string_view cp1252) {
  static const std::array<char16_t, 256> unicodeOf = MakeUnicodeTable();
  QString text(static_cast<qsizetype>(cp1252.size()), Qt::Uninitialized);
  QChar* out = text.data();
  for (const char byte : cp1252)
    *out++ = QChar(unicodeOf[static_cast<unsigned char>(byte)]);
  return text;
}

std::string FromQString(const QString& text, char replacement) {
  std::string out;
  out.reserve(static_cast<std::size_t>(text.size()));
  // toUcs4 joins surrogate pairs and turns a lone surrogate into U+FFFD, so
  // a character outside the code page gives exactly one replacement.
  for (const char32_t codePoint : text.toUcs4()) {
    const int byte = UnicodeToCp1252(codePoint);
    out.push_back(byte < 0 ? replacement : static_cast<char>(byte));
  }
  return out;
}

QString PathToQString(const std::filesystem::path& path) {
#ifdef Q_OS_WIN
  return QString::fromStdWString(path.native());
#else
  return QFile::decodeName(QByteArray::fromStdString(path.native()));
#endif
}

std::filesystem::path QStringToPath(const QString& path) {
#ifdef Q_OS_WIN
  return std::filesystem::path(path.toStdWString());
#else
  return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

bool FitsCp1252(const QString& text) {
  return ToQString(FromQString(text)) == text;
}

}  // namespace passerelle
