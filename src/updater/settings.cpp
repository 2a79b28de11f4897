// The update settings in section "FRISSIT" of "prog.res".
#include <array>

#include "console/console.h"
#include "platform/fs.h"
#include "ui/ui.h"
#include "updater/updater.h"

namespace updater {

namespace {

constexpr std::string_view kSection = "FRISSIT";

struct Field {
  std::string_view key;
  int width;
  std::string UpdateSettings::*member;
};

// In the order the keys are read and written.
constexpr std::array<Field, 5> kFields = {{
    {"frissdatum", UpdateSettings::kDateWidth, &UpdateSettings::lastUpdate},
    {"frissnezdatum", UpdateSettings::kDateWidth, &UpdateSettings::lastLook},
    {"netver", UpdateSettings::kVersionWidth, &UpdateSettings::networkVersion},
    {"frisshely", UpdateSettings::kPlaceWidth, &UpdateSettings::source},
    {"uzenet", UpdateSettings::kMessageWidth, &UpdateSettings::message},
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
    int line = console::ReadSetting(console::kProgramStore, kSection, field.key, value);
    settings.*field.member = FieldText(line == -1 ? "" : value, field.width);
  }
  if (opened) console::CloseStore(console::kProgramStore);
}

void SaveUpdateSettings() {
  bool userOpened = OpenedHere(console::kUserStore);
  console::SaveStore(console::kUserStore);
  if (userOpened) console::CloseStore(console::kUserStore);
  bool opened = OpenedHere(console::kProgramStore);
  const UpdateSettings& settings = Settings();
  for (const Field& field : kFields)
    console::WriteSetting(console::kProgramStore, kSection, field.key,
                          FieldText(settings.*field.member, field.width));
  console::SaveStore(console::kProgramStore);
  if (opened) console::CloseStore(console::kProgramStore);
}

}  // namespace updater
