#include "UpdaterStrings.h"

#include <QFile>

#include "strings/LanguageChoice.h"

namespace halvex {

namespace {

bool LoadFolder(StringTable& table, const std::string& folder)
{
    QFile file(QString::fromStdString(":/strings/" + folder + ".lproj/Localizable.strings"));
    if (folder.empty() || !file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = file.readAll();
    return table.LoadText(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
}

}  // namespace

StringTable LoadUpdaterStrings()
{
    StringTable table;
    const std::string folder = LanguageFolderForId(ChooseLanguageId(LocaleEnvironment::FromProcess()));
    if (!LoadFolder(table, folder))
        (void)LoadFolder(table, "English");
    return table;
}

}  // namespace halvex
