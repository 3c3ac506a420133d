// Saved games. Game.SaveGame writes a Lua script that rebuilds the game:
// the current room, plain globals, every global engine object with its
// properties and its class's own lines, the queued speech lines and the
// cursor; beside it a 256 x 256 JPEG thumbnail of the view. Game.LoadGame
// runs such a script between before-load and after-load events.
//
// The file's layout, line by line (CR LF):
//   0  "--Save game <file>, Date <date> <time>"
//   1  "Game.GameLoading = 1;"
//   2  "-- Loading current room"
//   3  <global of the current TRoom>.Load(1);   (a comment without a room)
//   4  "-- Creating objects in case they aren't created"
//      creation lines, in the order the objects were created
//      "-- Setting everything as they were"
//      globals and object records, in the order the globals were visited
//      "--Saving conversations", "Game.ClearConversations();", speech lines
//      the cursor and its visibility
//      every object's ".ID = " line
// Every string is written through one escaper and every number so that
// Lua reads back the same value. The file and its thumbnail are replaced
// whole or not at all.
#pragma once

#include <string>

namespace kavo {

struct TKavoContext;
struct TKavo_ScriptFunctionData;
class TGameClass;

void RunSaveGame(TGameClass& game, TKavo_ScriptFunctionData& d);
void RunLoadGame(TGameClass& game, TKavo_ScriptFunctionData& d);

// The text of a save file for the game as it is now, without events or
// the thumbnail (what SaveGame writes). Empty while another save gathers.
std::string SaveGameText(TKavoContext& ctx, const std::string& fileName);

}  // namespace kavo
