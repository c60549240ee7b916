#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include <QString>

namespace passerelle {

// The one place where the program's Windows-1252 text meets Qt's Unicode.
QString ToQString(std::string_view cp1252);
// Every character that Windows-1252 cannot hold becomes `replacement`, one
// per character, surrogate pairs included.
std::string FromQString(const QString& text, char replacement = '?');
// Whether Windows-1252, the files' character set, holds every character of
// the text.
bool FitsCp1252(const QString& text);

// File names cross the boundary in the platform's own form, never through
// Windows-1252, so that a folder such as "Élèves" works everywhere.
QString PathToQString(const std::filesystem::path& path);
std::filesystem::path QStringToPath(const QString& path);

}  // namespace passerelle
