// Windows half of TExeUtils: the system's resource update rewrites the executable. Only the calls of
// the Windows API belong here; the checks, the new icon group and the version block rewrite are
// the portable ones, so both editors give the same result.
#include "ExeUtilsInternal.h"
#include "TextCodec.h"

#include <windows.h>

#include <set>
#include <stdexcept>

namespace velmora::exeutils {

namespace {

// A pending resource update, discarded unless committed.
class TResourceUpdate {
public:
  explicit TResourceUpdate(const std::string& path, const char* failure)
    : FHandle(BeginUpdateResourceW(Utf8ToWide(path).c_str(), FALSE))
  {
    if (FHandle == nullptr)
      throw std::runtime_error(failure);
  }
  ~TResourceUpdate()
  {
    if (FHandle != nullptr)
      EndUpdateResourceW(FHandle, TRUE);
  }
  TResourceUpdate(const TResourceUpdate&) = delete;
  TResourceUpdate& operator=(const TResourceUpdate&) = delete;

  void Update(LPCWSTR type, LPCWSTR name, WORD language, const void* data, size_t size, const char* failure)
  {
    if (!UpdateResourceW(FHandle, type, name, language, const_cast<void*>(data), static_cast<DWORD>(size)))
      throw std::runtime_error(failure);
  }
  void Delete(LPCWSTR type, LPCWSTR name, WORD language, const char* failure)
  {
    Update(type, name, language, nullptr, 0, failure);
  }
  void Commit()
  {
    const HANDLE handle = FHandle;
    FHandle = nullptr;
    if (!EndUpdateResourceW(handle, FALSE))
      throw std::runtime_error("EndUpdateResource failed");
  }

private:
  HANDLE FHandle;
};

// The executable loaded as data, for reading its resources; freed before the update is committed,
// which rewrites the file.
class TDataModule {
public:
  explicit TDataModule(const std::string& path)
    : FModule(LoadLibraryExW(Utf8ToWide(path).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE))
  {}
  ~TDataModule()
  {
    if (FModule != nullptr)
      FreeLibrary(FModule);
  }
  TDataModule(const TDataModule&) = delete;
  TDataModule& operator=(const TDataModule&) = delete;
  HMODULE Get() const { return FModule; }

private:
  HMODULE FModule;
};

std::vector<WORD> ListLanguages(HMODULE module, LPCWSTR type, LPCWSTR name)
{
  std::vector<WORD> languages;
  EnumResourceLanguagesW(
    module, type, name,
    [](HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) -> BOOL {
      reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
      return TRUE;
    },
    reinterpret_cast<LONG_PTR>(&languages));
  return languages;
}

// A resource's language: the first the system lists for it, or the neutral language.
WORD FirstLanguage(HMODULE module, LPCWSTR type, LPCWSTR name)
{
  const auto languages = ListLanguages(module, type, name);
  return languages.empty() ? 0 : languages.front();
}

// A resource name as enumerated: a number, or a text that lives only during the enumeration.
struct TName {
  std::wstring Text;
  WORD Id = 0;
  LPCWSTR Get() const { return Text.empty() ? MAKEINTRESOURCEW(Id) : Text.c_str(); }
};

std::vector<TName> ListNames(HMODULE module, LPCWSTR type)
{
  std::vector<TName> names;
  EnumResourceNamesW(
    module, type,
    [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) -> BOOL {
      auto& list = *reinterpret_cast<std::vector<TName>*>(param);
      if (IS_INTRESOURCE(name))
        list.push_back({{}, static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name))});
      else
        list.push_back({name, 0});
      return TRUE;
    },
    reinterpret_cast<LONG_PTR>(&names));
  return names;
}

std::vector<uint8_t> ResourceBytes(HMODULE module, HRSRC resource)
{
  const HGLOBAL loaded = LoadResource(module, resource);
  const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (data == nullptr)
    return {};
  const auto* bytes = static_cast<const uint8_t*>(data);
  return {bytes, bytes + SizeofResource(module, resource)};
}

bool IsMainIcon(const TName& name)
{
  return !name.Text.empty() && CompareStringOrdinal(name.Text.c_str(), -1, L"MAINICON", -1, TRUE) == CSTR_EQUAL;
}

// The image ids that icon groups other than the one being replaced list.
std::set<uint16_t> KeptImageIds(HMODULE module, WORD groupLanguage)
{
  std::set<uint16_t> kept;
  for (const TName& name : ListNames(module, RT_GROUP_ICON)) {
    for (const WORD language : ListLanguages(module, RT_GROUP_ICON, name.Get())) {
      if (IsMainIcon(name) && language == groupLanguage)
        continue;
      const HRSRC resource = FindResourceExW(module, RT_GROUP_ICON, name.Get(), language);
      if (resource == nullptr)
        continue;
      if (const auto group = pe::ParseIconGroup(ResourceBytes(module, resource))) {
        for (const pe::TIconGroupEntry& entry : group->Entries)
          kept.insert(entry.ImageId);
      }
    }
  }
  return kept;
}

} // namespace

void SystemChangeExeIcon(const std::string& ExePath, const std::string& IcoPath)
{
  // Every 64-bit Windows is of the NT family; the check stays for what the operation promises.
  if ((GetVersion() & 0x80000000U) != 0)
    throw std::runtime_error("Only supported on Windows NT and above");
  const std::vector<uint8_t> ico = ReadCheckedIcon(IcoPath);

  TResourceUpdate update(ExePath, "BeginUpdateResource failed (1)");
  std::vector<uint8_t> oldGroup;
  WORD groupLanguage = 0;
  std::vector<std::pair<uint16_t, WORD>> oldImages; // id, language
  std::set<uint16_t> kept;
  {
    const TDataModule module(ExePath);
    if (module.Get() == nullptr)
      throw std::runtime_error("LoadLibraryEx failed (1)");
    const HRSRC resource = FindResourceW(module.Get(), L"MAINICON", RT_GROUP_ICON);
    if (resource == nullptr)
      throw std::runtime_error("FindResource failed (1)");
    const HGLOBAL loaded = LoadResource(module.Get(), resource);
    if (loaded == nullptr)
      throw std::runtime_error("LoadResource failed (1)");
    const void* locked = LockResource(loaded);
    if (locked == nullptr)
      throw std::runtime_error("LockResource failed (1)");
    const auto* bytes = static_cast<const uint8_t*>(locked);
    oldGroup.assign(bytes, bytes + SizeofResource(module.Get(), resource));
    groupLanguage = FirstLanguage(module.Get(), RT_GROUP_ICON, L"MAINICON");
    kept = KeptImageIds(module.Get(), groupLanguage);
    if (const auto group = pe::ParseIconGroup(oldGroup)) {
      for (const pe::TIconGroupEntry& entry : group->Entries)
        oldImages.emplace_back(entry.ImageId, FirstLanguage(module.Get(), RT_ICON, MAKEINTRESOURCEW(entry.ImageId)));
    }
  }
  auto plan = pe::PlanIconReplacement(oldGroup, ico, kept);
  if (!plan)
    throw std::runtime_error(plan.Error());

  update.Delete(RT_GROUP_ICON, L"MAINICON", groupLanguage, "UpdateResource failed (1)");
  for (const auto& [id, language] : oldImages) {
    if (kept.count(id) == 0)
      update.Delete(RT_ICON, MAKEINTRESOURCEW(id), language, "UpdateResource failed (2)");
  }
  for (const pe::TIconImage& image : plan.Value().NewImages)
    update.Update(RT_ICON, MAKEINTRESOURCEW(image.Id), pe::kUsEnglish, image.Bytes.data(), image.Bytes.size(),
                  "UpdateResource failed (3)");
  update.Update(RT_GROUP_ICON, L"MAINICON", pe::kUsEnglish, plan.Value().NewGroup.data(), plan.Value().NewGroup.size(),
                "UpdateResource failed (4)");
  update.Commit();
}

void SystemUpdateExeInfo(const std::string& ExePath, const TExeVersionTexts& Texts)
{
  if (TExeUtils::GetFileSize(ExePath) < 0)
    return;
  std::vector<uint8_t> block;
  {
    const TDataModule module(ExePath);
    if (module.Get() == nullptr)
      return;
    const HRSRC resource = FindResourceW(module.Get(), MAKEINTRESOURCEW(1), RT_VERSION);
    if (resource == nullptr)
      return;
    block = ResourceBytes(module.Get(), resource);
  }
  if (block.empty())
    return;
  auto rewritten = pe::RewriteVersionTexts(block, GivenTexts(Texts));
  if (!rewritten)
    throw std::runtime_error(rewritten.Error());

  TResourceUpdate update(ExePath, "BeginUpdateResource failed (2)");
  update.Update(RT_VERSION, MAKEINTRESOURCEW(1), pe::kNeutralLanguage, rewritten.Value().data(),
                rewritten.Value().size(), "UpdateResource failed (5)");
  update.Commit();
}

} // namespace velmora::exeutils
