#include "window/browsing_panes.h"

#include "settings/settings.h"
#include "text/ascii.h"
#include "text/path.h"
#include "window/control_table.h"

namespace qv {

void BrowsingPanes::Form_Load() {
  c_.Label3.set_caption("");
  c_.Label2.set_caption("");
  c_.Label5.set_caption("");
  state_.upgraded_count = 0;
  Settings settings = load_settings(c_.platform.application_folder());
  state_.app_folder = settings.app_folder;
  state_.settings_path = settings.settings_path;
  state_.verification_on = settings.verification_on;
  state_.tag_text = settings.tag_text;
  if (settings.read_error)
    c_.message_box.show("Cannot read the settings file:\n" + settings.read_error->path + "\n" +
                            settings.read_error->reason +
                            "\n\nThe default settings are used: the text goes before the last " +
                            state_.tag_text + ", and must contain \"" +
                            std::string(kInsertionMarker) + "\".",
                        Buttons::ok, kWindowCaption);
}

void BrowsingPanes::Command5_Click() { c_.platform.end(); }

void BrowsingPanes::Command4_Click() { c_.masque.set_text("*.*"); }

void BrowsingPanes::Drive1_Change() {
  // Moving the folder list raises Dir1_Change, which shows the folder in Label2; a drive change
  // leaves Label2 empty all the same.
  c_.Dir1.set_path(c_.Drive1.drive());
  c_.Label2.set_caption("");
}

void BrowsingPanes::Dir1_Change() {
  c_.File1.set_path(c_.Dir1.path());
  state_.web_folder = with_trailing_separator(c_.Dir1.path());
  c_.Label2.set_caption(state_.web_folder);
}

void BrowsingPanes::File1_Click() {
  c_.Label2.set_caption(folder_join(c_.File1.path(), c_.File1.file_name()));
  // Through masque_Change the clicked name becomes the list's pattern: the list then holds that
  // page alone, and a run processes it alone.
  c_.masque.set_text(c_.File1.file_name());
}

void BrowsingPanes::masque_Change() { c_.File1.set_pattern(trim(c_.masque.text())); }

void BrowsingPanes::Drive2_Change() {
  c_.Dir2.set_path(c_.Drive2.drive());
  c_.Label3.set_caption("");
}

void BrowsingPanes::Dir2_Change() {
  c_.File2.set_path(c_.Dir2.path());
  // The chosen text file belonged to the old folder: drop the choice.
  c_.Label3.set_caption("");
}

void BrowsingPanes::File2_Click() {
  c_.Label3.set_caption(folder_join(c_.File2.path(), c_.File2.file_name()));
}

}  // namespace qv
