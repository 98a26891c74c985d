// The option registry, its stack of snapshots and the format list. One re-entrant lock guards all
// three. The state is a function-local static, made on first use of any registry function (a
// format object's construction included); the built-in formats are added after it exists,
// because their constructors register options in it.

#include <map>
#include <mutex>

#include "formats/Vantrel.Imaging.DDS.h"
#include "formats/Vantrel.Imaging.TGA.h"
#include "formats/Vantrel.Imaging.h"

namespace vantrel {

RTL_DEFINE_CLASS(TOptionStack, "Vantrel.Imaging")

namespace {

struct TRegistration {
  const void* Owner; // the format object that registered, or nullptr for the globals
  int32_t* Variable;
};

struct TImagingState {
  std::recursive_mutex Lock;
  // Registrations per id, newest last.
  std::map<int32_t, std::vector<TRegistration>> Options;
  TOwned<TOptionStack> Stack{New<TOptionStack>()};
  std::vector<TOwned<TImageFileFormat>> Formats;
  bool BuiltInsAdded = false;

  TImagingState() {
    Options[ImagingOption::PaletteChannelMask].push_back({nullptr, &ImagingColorReductionMask});
    Options[ImagingOption::ConvertAfterLoad].push_back({nullptr, &ImagingLoadOverrideFormat});
    Options[ImagingOption::ConvertBeforeSave].push_back({nullptr, &ImagingSaveOverrideFormat});
    Options[ImagingOption::Unused131].push_back({nullptr, &ImagingReservedOption});
  }
  // The formats go first, while the registry they unregister from still exists.
  ~TImagingState() {
    std::vector<TOwned<TImageFileFormat>> formats = std::move(Formats);
    formats.clear();
  }
};

TImagingState& State() {
  static TImagingState state;
  return state;
}

void AddFormat(TImagingState& AState, const TClass& AClass) {
  TOwned<TImageFileFormat> format(AClass.CreateAs<TImageFileFormat>());
  std::lock_guard lock(AState.Lock);
  AState.Formats.push_back(std::move(format));
}

// The state with the built-in formats in its list. Their constructors come back here to register
// their options and find the flag already set; other threads wait on the lock until they are in.
TImagingState& Registry() {
  TImagingState& state = State();
  std::lock_guard lock(state.Lock);
  if (!state.BuiltInsAdded) {
    state.BuiltInsAdded = true;
    AddFormat(state, TDDSFileFormat::StaticClass());
    AddFormat(state, TTargaFileFormat::StaticClass());
  }
  return state;
}

int32_t* Newest(TImagingState& AState, int32_t AId) {
  const auto it = AState.Options.find(AId);
  return it == AState.Options.end() || it->second.empty() ? nullptr : it->second.back().Variable;
}

} // namespace

namespace detail {

void RegisterOwnedOption(const void* AOwner, int32_t AId, int32_t* AVariable) {
  Assert(AVariable != nullptr && AId >= 0);
  TImagingState& state = Registry();
  std::lock_guard lock(state.Lock);
  state.Options[AId].push_back({AOwner, AVariable});
}

void UnregisterOptions(const void* AOwner) {
  TImagingState& state = State();
  std::lock_guard lock(state.Lock);
  for (auto it = state.Options.begin(); it != state.Options.end();) {
    std::erase_if(it->second, [AOwner](const TRegistration& AEntry) { return AEntry.Owner == AOwner; });
    it = it->second.empty() ? state.Options.erase(it) : std::next(it);
  }
}

} // namespace detail

void InitializeImaging() {
  Registry();
}

bool RegisterImageOption(int32_t AId, int32_t* AVariable) {
  Assert(AVariable != nullptr);
  TImagingState& state = Registry();
  if (AId < 0)
    return false;
  std::lock_guard lock(state.Lock);
  state.Options[AId].push_back({nullptr, AVariable});
  return true;
}

int32_t GetImageOption(int32_t AId) {
  TImagingState& state = Registry();
  std::lock_guard lock(state.Lock);
  const int32_t* variable = Newest(state, AId);
  return variable ? *variable : ImagingOption::Unset;
}

TOptionStack& ImageOptionStack() {
  return *Registry().Stack;
}

bool TOptionStack::Push() {
  TImagingState& state = Registry();
  std::lock_guard lock(state.Lock);
  if (static_cast<int32_t>(FSnapshots.size()) >= Capacity)
    return false;
  std::vector<std::pair<int32_t, int32_t>> snapshot;
  for (const auto& [id, registrations] : state.Options)
    if (!registrations.empty())
      snapshot.emplace_back(id, *registrations.back().Variable);
  FSnapshots.push_back(std::move(snapshot));
  return true;
}

bool TOptionStack::Pop() {
  TImagingState& state = Registry();
  std::lock_guard lock(state.Lock);
  if (FSnapshots.empty())
    return false;
  for (const auto& [id, value] : FSnapshots.back())
    if (int32_t* variable = Newest(state, id))
      *variable = value;
  FSnapshots.pop_back();
  return true;
}

void RegisterFileFormat(const TClass* AClass) {
  Assert(AClass != nullptr && AClass->InheritsFrom(TImageFileFormat::StaticClass()));
  AddFormat(Registry(), *AClass);
}

std::vector<TImageFileFormat*> ImageFileFormats() {
  TImagingState& state = Registry();
  std::lock_guard lock(state.Lock);
  std::vector<TImageFileFormat*> formats;
  for (const TOwned<TImageFileFormat>& format : state.Formats)
    formats.push_back(format.get());
  return formats;
}

} // namespace vantrel
