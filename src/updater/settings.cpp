// The update settings in section "FRISSIT" of "prog.res".
#include <array>
#include <charconv>
#include <span>

#include "console/console.h"
#include "platform/fs.h"
#include "ui/ui.h"
#include "updater/updater.h"

namespace updater {

namespace {

constexpr std::string_view kSection = "FRISSIT";

struct Field {
  std::string_view Key;
  int Width;
  std::string UpdateSettings::*Member;
};

// In the order the keys are read and written.
constexpr std::array<Field, 6> kFields = {{
    {"frissdatum", UpdateSettings::kDateWidth, &UpdateSettings::LastUpdate},
    {"frissnezdatum", UpdateSettings::kDateWidth, &UpdateSettings::LastLook},
    {"netver", UpdateSettings::kVersionWidth, &UpdateSettings::NetworkVersion},
    {"frisshely", UpdateSettings::kPlaceWidth, &UpdateSettings::Source},
    {"uzenet", UpdateSettings::kMessageWidth, &UpdateSettings::Message},
    {"kiadas", UpdateSettings::kVersionWidth, &UpdateSettings::Release},
}};

// value cut to width, padded with blanks to width.
std::string FieldText(std::string_view value, int width) {
  std::string text(value.substr(0, static_cast<std::size_t>(width)));
  text.resize(static_cast<std::size_t>(width), ' ');
  return text;
}

// Loads a store for a moment: opened (when not loaded already) and closed
// again only when it was opened here.
bool OpenedHere(int store) {
  if (console::StoreLoaded(store)) return false;
  console::OpenStore(store);
  return true;
}

// Writes fields of the record to "prog.res" at their full width, creating
// the user's settings file and "prog.res" when missing.
void SaveFields(std::span<const Field> fields) {
  bool userOpened = OpenedHere(console::kUserStore);
  console::SaveStore(console::kUserStore);
  if (userOpened) console::CloseStore(console::kUserStore);
  bool opened = OpenedHere(console::kProgramStore);
  const UpdateSettings& settings = Settings();
  for (const Field& field : fields)
    console::WriteSetting(console::kProgramStore, kSection, field.Key,
                          FieldText(settings.*field.Member, field.Width));
  console::SaveStore(console::kProgramStore);
  if (opened) console::CloseStore(console::kProgramStore);
}

}  // namespace

UpdateSettings& Settings() {
  static UpdateSettings settings;
  return settings;
}

void LoadUpdateSettings() {
  ui::SetOutputMode(console::CodePageMode());
  if (!platform::FileExists(console::StorePath(console::kUserStore))) return;
  if (OpenedHere(console::kUserStore)) console::CloseStore(console::kUserStore);
  if (!platform::FileExists(console::StorePath(console::kProgramStore))) return;
  bool opened = OpenedHere(console::kProgramStore);

  UpdateSettings& settings = Settings();
  for (const Field& field : kFields) {
    std::string value;
    int line = console::ReadSetting(console::kProgramStore, kSection, field.Key, value);
    settings.*field.Member = FieldText(line == -1 ? "" : value, field.Width);
  }
  if (opened) console::CloseStore(console::kProgramStore);
}

void SaveUpdateSettings() { SaveFields(kFields); }

std::uint64_t AcceptedRelease() {
  std::uint64_t serial = 0;
  const std::string& text = Settings().Release;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), serial);
  return error == std::errc() && text.find_first_not_of(' ', end - text.data()) == std::string::npos ? serial
                                                                                                      : 0;
}

void SaveAcceptedRelease(std::uint64_t serial) {
  Settings().Release = FieldText(std::to_string(serial), UpdateSettings::kVersionWidth);
  SaveFields(std::span<const Field>(&kFields.back(), 1));
}

}  // namespace updater
