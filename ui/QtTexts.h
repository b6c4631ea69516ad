#pragma once
// Qt's side of the interface texts: Qt's own translations (message-box
// buttons, the file dialog) in the interface language, and the string
// tables' file filters in the form Qt's file dialog reads.

#include <QString>

#include <cstdint>

namespace ui {

// Installs Qt's own translations for the interface language (2052
// Simplified, 1028 Traditional Chinese; nothing for English) into the
// running application. False when there are none to install or the
// system's files are missing: Qt's texts then stay English.
bool InstallQtTranslations(uint16_t languageId);

// A string table's open-file filter ("upgrade file(*.*)|*.*||": pairs of a
// description and patterns separated by ";", each followed by "|") in Qt's
// form ("upgrade file(*.*) (*);;..."). "*.*", which means every file to the
// table's readers, becomes "*": to Qt it would be only names with a dot. A
// text without "|" is taken as Qt's form already.
QString QtFileFilter(const QString& tableFilter);

}  // namespace ui
