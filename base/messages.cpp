// The system's messages and captions.
#include "base/messages.h"

#include "base/product.h"

const char kCaptionProduct[] = PEL_DISPLAY_NAME;
const char kCaptionError[] = "Ошибка";
const char kMessageAlreadyRunning[] = "Программа '" PEL_DISPLAY_NAME "' уже выполняется на этом компьютере.";
const char kMessageNotInstalled[] = "Программа не установлена.";
const char kMessageAnotherRun[] = "Установка или удаление программы '" PEL_DISPLAY_NAME "' уже выполняется.";

const char kMessageNoResource[] = "(0001) Ошибка. Недостаточно памяти.";
const char kMessageNoFirstCopy[] = "(0002) Ошибка. Недостаточно памяти.";
const char kMessageNoSecondCopy[] = "(0003) Ошибка. Недостаточно памяти.";
const char kMessageBrokenArchive[] = "(0004) Ошибка. Архив программы повреждён.";
const char kMessageFolderPrefix[] = "(0001) Ошибка при создании папки ";
const char kMessageDirectoryPrefix[] = "0002 Ошибка при создании папки ";
const char kMessageWriteFilePrefix[] = "(0005) Ошибка при записи файла ";

const char kMessageConfirmUninstall[] = "Удалить программу '" PEL_DISPLAY_NAME "' с этого компьютера?";
const char kMessageRemoveFilePrefix[] = "(0006) Ошибка при удалении файла ";
const char kMessageUninstalled[] = "Программа '" PEL_DISPLAY_NAME "' удалена с компьютера.";
const char kMessageDataFileKeptPrefix[] = "Файл данных " PEL_DATA_FILE " сохранён в папке ";
const char kMessageFilesKeptPrefix[] = "Часть файлов не удалена и осталась в папке ";
const char kMessageNotInstalledInPrefix[] = "Программа '" PEL_DISPLAY_NAME "' не установлена в папке ";

const char kMessageStandIn[] = "Эта программа замещает приложение '" PEL_DISPLAY_NAME
                               "' в образце установки.\n"
                               "Закройте окно кнопкой закрытия или клавишей Esc.";

const char kLinkProgram[] = "Программа";
const char kLinkHelp[] = "Инструкция";
const char kLinkNews[] = "Новости";
const char kLinkLicence[] = "Лицензионное соглашение";
const char kLinkFeatures[] = "Особенности";
const char kLinkUninstall[] = "Удалить " PEL_DISPLAY_NAME;
