#include "world/kavoroom.h"

#include "script/environment.h"
#include "shell/kavoform.h"
#include "shell/scenetree.h"

namespace kavo {

TKavoRoom::TKavoRoom(TKavoForm& form) : form_(form) {}
TKavoRoom::~TKavoRoom() = default;

const std::string& TKavoRoom::Name() const { return form_.roomName; }
const std::string& TKavoRoom::ScriptFile() const { return form_.roomScriptFile; }
bool TKavoRoom::HasModel() const { return !form_.scene->roomModel->Data().objects.empty(); }
scene::StaticMeshNode& TKavoRoom::Model() { return *form_.scene->roomModel; }
scene::StaticMeshNode& TKavoRoom::WalkArea() { return *form_.scene->walkArea; }
scene::LineSetNode& TKavoRoom::PathLines() { return *form_.scene->pathLines; }

void TKavoRoom::Progress() {
  if (!loaded || form_.halted || !progressEnabled || ScriptFile().empty()) return;
  if (!form_.scene->renderable->Visible() || !form_.scene->roomModel->Visible()) return;
  form_.LoadRoomScript();
  if (CallEvent(form_, "", "on" + Name() + "Progress") != 0) progressEnabled = false;
}

}  // namespace kavo
