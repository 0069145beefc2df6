// The system's messages and captions, each written once (Windows-1251 at run time).
#pragma once

extern const char kCaptionProduct[];         // "Пелбриксон": every message but the running one
extern const char kCaptionError[];           // "Ошибка": the running-application message
extern const char kMessageAlreadyRunning[];  // "Программа 'Пелбриксон' уже выполняется ..."
extern const char kMessageNotInstalled[];  // "Программа не установлена."
extern const char kMessageAnotherRun[];  // "Установка или удаление программы 'Пелбриксон' уже выполняется."

// The extraction's coded messages; the prefixes are followed by a folder, directory or file.
extern const char kMessageNoResource[];     // "(0001) Ошибка. Недостаточно памяти."
extern const char kMessageNoFirstCopy[];    // "(0002) Ошибка. Недостаточно памяти."
extern const char kMessageNoSecondCopy[];   // "(0003) Ошибка. Недостаточно памяти."
extern const char kMessageBrokenArchive[];  // "(0004) Ошибка. Архив программы повреждён."
extern const char kMessageFolderPrefix[];   // "(0001) Ошибка при создании папки "
extern const char kMessageDirectoryPrefix[];  // "0002 Ошибка при создании папки "
extern const char kMessageWriteFilePrefix[];  // "(0005) Ошибка при записи файла "

// The uninstaller's messages.
extern const char kMessageConfirmUninstall[];  // "Удалить программу 'Пелбриксон' с этого компьютера?"
extern const char kMessageRemoveFilePrefix[];  // "(0006) Ошибка при удалении файла " + listed path
extern const char kMessageUninstalled[];  // "Программа 'Пелбриксон' удалена с компьютера."
extern const char kMessageDataFileKeptPrefix[];  // "Файл данных Tolva.dat сохранён в папке " + folder
extern const char kMessageFilesKeptPrefix[];  // "Часть файлов не удалена и осталась в папке " + folder
// "Программа 'Пелбриксон' не установлена в папке " + folder: the uninstaller run from elsewhere
extern const char kMessageNotInstalledInPrefix[];

// The stand-in application's window text (sample payload only).
extern const char kMessageStandIn[];

// The titles of the links: each link's description and file name.
extern const char kLinkProgram[];    // "Программа"
extern const char kLinkHelp[];       // "Инструкция"
extern const char kLinkNews[];       // "Новости"
extern const char kLinkLicence[];    // "Лицензионное соглашение"
extern const char kLinkFeatures[];   // "Особенности"
extern const char kLinkUninstall[];  // "Удалить Пелбриксон"
