#pragma once

#include <optional>
#include <string>

#include "DialogView.h"
#include "FolderMemory.h"
#include "SectionInterfaces.h"
#include "SettingsStore.h"

// What the user chose, kept between runs: the port and its speed, the zone, the Translate choices
// and the folders of the file dialogs.
class RememberedChoices {
  public:
    RememberedChoices(DialogView& view, TranslateChoices& choices, FolderMemory& folders);

    // Before the window starts: where the choices are kept (none: nothing kept).
    void SetSettingsStore(SettingsStore* pStore) { m_pSettings = pStore; }
    // Gives the controls and folders the choices kept; the zone is ShowStartZone's.
    void RestoreSettings();
    void SaveSettings();
    // The zone kept; nothing when none was.
    std::optional<std::string> RememberedZone() const;

  private:
    DialogView& m_view;
    TranslateChoices& m_choices;
    FolderMemory& m_folders;
    SettingsStore* m_pSettings = nullptr;
};
