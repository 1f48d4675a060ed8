// The shell and system commands of the bridge.
#include "BridgeArguments.h"
#include "BrowserExternalModule.h"
#include "Limits.h"
#include "StrUtils.h"
#include "SysUtils.h"

namespace velmora {

void TBrowserExternalModule::ShellExecute(const std::string& Uuid, const TCommandData& Data)
{
  const std::string path = Data.ReadText("filePath");
  const std::string arguments = Data.ReadText("arguments");
  if (path.empty())
    return SendError(Uuid, "\"Missing filePath\"");
  if (path.find('\0') != std::string::npos || arguments.find('\0') != std::string::npos)
    return SendError(Uuid, kNulInPathError);
  if (TSysUtils::ShellExec(path, arguments))
    return SendSuccess(Uuid, "true");
  SendError(Uuid, TStrUtils::StringToJsonString(TSysUtils::GetLastErrorMessage()));
}

void TBrowserExternalModule::ShellExplore(const std::string& Uuid, const TCommandData& Data)
{
  const auto path = ReadPathArgument(Uuid, Data, "filePath");
  if (!path)
    return;
  if (TSysUtils::ShellExplore(*path))
    return SendSuccess(Uuid, "true");
  SendError(Uuid, TStrUtils::StringToJsonString(TSysUtils::GetLastErrorMessage()));
}

void TBrowserExternalModule::ShellCommand(const std::string& Uuid, const TCommandData& Data)
{
  const std::string command = Data.ReadText("command");
  if (command.empty())
    return SendError(Uuid, "\"Missing command\"");
  const std::string workingDir = Data.ReadText("workingDir");
  const bool showWindow = Data.ReadText("showWindow", "false") == "true";
  if (command.find('\0') != std::string::npos || workingDir.find('\0') != std::string::npos)
    return SendError(Uuid, kNulInCommandError);
  // The command runs beside the UI thread, so the window and the other bridge calls go on while
  // it does; its reply comes once it has ended. Its output is held once, up to a ceiling: a
  // command that prints more is ended and gets an error reply instead of filling the memory.
  ReplyLater(Uuid, TWorkPlace::OwnThread, [command, workingDir, showWindow]() -> std::optional<TReply> {
    const auto output = TSysUtils::GetDosOutputLimited(command, workingDir, showWindow, kMaxCommandOutputBytes);
    if (!output)
      return TReply{TStrUtils::StringToJsonString("The command printed more than " +
                                                  TSysUtils::FormatByteSize(kMaxCommandOutputBytes) + " and was ended"),
                    false};
    return TReply{TStrUtils::StringToJsonString(*output)};
  });
}

void TBrowserExternalModule::ShellWindows(const std::string& Uuid, const TCommandData&)
{
  std::vector<std::string> titles;
  TSysUtils::GetWindowsCaptions(titles);
  SendSuccess(Uuid, JsonStringArray(titles));
}

void TBrowserExternalModule::ExitWindowsReply(const std::string& Uuid, uint32_t Flags)
{
  if (TSysUtils::ExitWindows(Flags))
    return SendSuccess(Uuid, "true");
  SendError(Uuid, TStrUtils::StringToJsonString(TSysUtils::GetLastErrorMessage()));
}

void TBrowserExternalModule::SystemLogoff(const std::string& Uuid, const TCommandData&)
{
  ExitWindowsReply(Uuid, TSysUtils::kEwxLogoff | TSysUtils::kEwxForce);
}

void TBrowserExternalModule::SystemReboot(const std::string& Uuid, const TCommandData&)
{
  ExitWindowsReply(Uuid, TSysUtils::kEwxReboot | TSysUtils::kEwxForce);
}

void TBrowserExternalModule::SystemShutdown(const std::string& Uuid, const TCommandData&)
{
  ExitWindowsReply(Uuid, TSysUtils::kEwxShutdown | TSysUtils::kEwxForce);
}

} // namespace velmora
