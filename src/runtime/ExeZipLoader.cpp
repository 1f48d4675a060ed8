// The start-up loader: attached archive, settings, identity.
#include "ExeZipLoader.h"

#include "ArchivePassword.h"
#include "LocalizedMessages.h"
#include "ProjectSettings.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace velmora {

namespace {
// Owners of the published objects, released in reverse order at process end.
std::unique_ptr<TExeUtils> GExeUtils;
std::unique_ptr<TAttachedArchive> GArchive;
std::unique_ptr<TExeZip> GExeZip;
std::unique_ptr<TMemIniFile> GProjectINI;
} // namespace

TExeUtils* ExeUtils = nullptr;
TExeZip* ExeZip = nullptr;
TMemIniFile* ProjectINI = nullptr;
std::string AppID;
std::string AppName;
std::string AppDirName;
std::string AppIndexHtml;

void LoadProjectINI()
{
  ProjectINI->SetText({});
  const auto bytes = ExeZip->ExtractToString("ryx.ini");
  if (!bytes || !bytes.Value())
    return;
  ProjectINI->SetText(DecodeSettingsText(*bytes.Value()));
}

TBundleState OpenAppBundle(const std::string& ExePath)
{
  GProjectINI.reset();
  GExeZip.reset();
  GArchive.reset();
  GExeUtils = std::make_unique<TExeUtils>(ExePath);
  GExeZip = std::make_unique<TExeZip>();
  GProjectINI = std::make_unique<TMemIniFile>();
  ExeUtils = GExeUtils.get();
  ExeZip = GExeZip.get();
  ProjectINI = GProjectINI.get();
  AppID.clear();
  AppName.clear();
  AppDirName.clear();
  AppIndexHtml.clear();

  if (!ExeUtils->ExeHasAttachedStub())
    return TBundleState::NoArchive;

  ExeZip->SetPassword(std::string(kArchivePassword));
  GArchive = std::make_unique<TAttachedArchive>();
  ExeUtils->GetZipFromExe(*GArchive);
  if (const TStatus opened = ExeZip->Open(GArchive->Bytes()); !opened)
    throw std::runtime_error(opened.Error());

  LoadProjectINI();
  AppID = TProjectSettings::ReadString(*ProjectINI, AppKeys::ID);
  AppName = TProjectSettings::ReadString(*ProjectINI, AppKeys::Name);
  AppDirName = TProjectSettings::ReadString(*ProjectINI, AppKeys::DirName);
  AppIndexHtml = TProjectSettings::ReadString(*ProjectINI, AppKeys::IndexHtml);
  if (AppID.empty() || AppName.empty() || AppDirName.empty())
    return TBundleState::IdentityMissing;
  return TBundleState::Loaded;
}

void LoadExeZip()
{
  switch (OpenAppBundle()) {
  case TBundleState::Loaded:
    return;
  case TBundleState::NoArchive:
    // FIXME: shown on standard error until the runtime has its message dialog.
    std::fprintf(stderr, "%s: %s\n", GetLocalizedMessage(msgErrorTitle).c_str(),
                 GetLocalizedMessage(msgNoArchive).c_str());
    std::exit(0);
  case TBundleState::IdentityMissing:
    std::exit(0);
  }
}

} // namespace velmora
