#pragma once

#include <QString>

// The editor's own folder under the documents folder, its flag files and log.
namespace AppFolder {

inline constexpr auto kVendorFolder = "VORMA";
inline constexpr auto kProductFolder = "Tharnvik MK3";
inline constexpr auto kShowUpdateMessageFile = "ShowMessageVersionAtStartup.txt";
inline constexpr auto kReportUsbErrorsFile = "ReportUSBErrors.txt";
inline constexpr auto kLogFile = "log.txt";
inline constexpr auto kInstrumentFile = "Instrument.txt";
inline constexpr auto kLookFile = "style.txt";
inline constexpr qint64 kLogSizeLimit = 5'000'000;

// documents/VORMA/Tharnvik MK3, without a trailing separator.
QString path(const QString &documentsFolder);
// documents/VORMA
QString vendorPath(const QString &documentsFolder);

// Makes sure documents/name (or documents/name/subname) exists, creating
// every missing level. Returns an empty text on success, else the message
// to show ("Error creating folder: ..." / "Error creating subfolder: ...").
QString CreateAppFolder(const QString &documentsFolder, const QString &name);
QString CreateAppSubfolder(const QString &documentsFolder, const QString &name, const QString &subname);

// Content of appFolder/fileName; a missing file is first created holding
// defaultText and defaultText is returned. Throws FileError.
QString ReadFlagFile(const QString &appFolder, const QString &fileName, const QString &defaultText);

// Exact, case-sensitive comparison on the whole content.
bool flagValue(const QString &content, bool initial);

// Empties the log when it is a file of kLogSizeLimit bytes or more. Throws FileError.
void TrimLog(const QString &appFolder);

} // namespace AppFolder
