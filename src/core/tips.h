#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Tips of the day: one per line of "tod.ctd" in the program's data folder.
inline const QString kTipsFileName = QStringLiteral("tod.ctd");
QString tipsFilePath();
std::optional<QStringList> LoadTips(const QString& fileName);
QString tipsNotFoundText();
// A 0-based index of a random tip; -1 when there are none.
int randomTipIndex(qsizetype count);
