// Whole folder trees on one volume: deleting, moving over another tree by rename with a
// way back, and holding a second name (hard links) for every file of a tree so that
// nothing of it can be lost while another step runs.
//
// Deliberately not here: copying file contents (everything works by rename and link,
// so both trees must lie on one volume) and following reparse points (a junction or
// symbolic link inside a tree is removed or moved as the link itself, never entered).
#pragma once

#include <string>

namespace install {

// Removes the file or folder at `path` with everything under it, read-only files
// included. True when nothing is left at `path` (also when there was nothing).
bool DeleteTree(const std::wstring& path);

// Moves every file of the tree `from` to the same relative place under `to` by rename,
// replacing files that exist there; folders missing under `to` are created (or moved
// whole); files and folders under `to` that `from` lacks stay. Either everything moves
// and true is answered, or nothing under `to` has changed and false is answered: a
// read-only file or a file/folder clash under `to` is found before anything moves, and
// a rename that fails midway is undone. What moved leaves `from`; replaced files are
// parked in `parking` (a folder that must not exist yet, removed at the end).
bool MoveTreeOver(const std::wstring& from, const std::wstring& to, const std::wstring& parking);

// Builds under `to` (which must not exist) the folders of the tree `from` and one hard
// link to every one of its files. False when any link cannot be made (a file system
// without hard links, another volume); `to` is then removed again.
bool LinkTree(const std::wstring& from, const std::wstring& to);

// True when some file of the tree has no other name than this one: after LinkTree and a
// deletion of the original, the data of that file lives only here.
bool HoldsLastLink(const std::wstring& tree);

// Counts the files of the tree (folders not counted).
int CountFiles(const std::wstring& tree);

// Moves back every file and folder of `from` whose place under `to` is empty, creating
// the folders on the way; what already exists under `to` stays as it is.
void RestoreMissing(const std::wstring& from, const std::wstring& to);

}  // namespace install
