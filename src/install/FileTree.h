// Whole folder trees: deleting, moving over another tree with a way back, and holding a
// second name (hard link) or a copy of every file of a tree so that nothing of it can
// be lost while another step runs.
//
// Deliberately not here: following reparse points in the trees we take apart (a
// junction or symbolic link inside a tree that is deleted, linked or moved is handled
// as the link itself, never entered). Only the tree a move goes into follows directory
// links: they are the folders their owner meant, often on another volume, where a
// rename turns into a copy.
#pragma once

#include <string>
#include <string_view>

namespace install {

// True when the file system takes `name` for one of our work folders or files (a name
// that starts with ".VornisTools-"), compared as it compares names: without case, and
// without the trailing dots and blanks it drops.
bool IsWorkName(std::wstring_view name);

// Removes the file or folder at `path` with everything under it, read-only files
// included. True when nothing is left at `path` (also when there was nothing).
bool DeleteTree(const std::wstring& path);

// Why a move over a tree did not happen: the path it stopped at and the system's error
// code (0 for ReadOnly and Clash, which are found before anything moves).
// NoJournal: the list of steps could not be written in the parking folder (a full disk),
// so nothing more was moved.
struct TMoveFailure {
  enum TKind { None, ReadOnly, Clash, Refused, NoJournal, Link } Kind = None;
  std::wstring Path;
  unsigned long Code = 0;
};

enum class TMoveResult {
  Moved,     // everything moved
  NotMoved,  // nothing under `to` has changed
  Kept,      // a step of the way back was refused: `to` is partly changed, and the
             // parking folder stays, with the steps still to do (RetryUndo)
};

// Moves every file of the tree `from` to the same relative place under `to` by rename
// (a copy where `to` lies on another volume), replacing files that exist there; folders
// missing under `to` are created (or moved whole); files and folders under `to` that
// `from` lacks stay. A read-only file or a file/folder clash under `to`, or a link
// anywhere in `from` (never moved: Link), is found before anything moves; a rename that fails
// midway is undone. What moved leaves `from`; replaced files are parked in `parking` (a folder that
// must not exist yet) at their relative place, and the folder is removed at the end unless the undo
// was refused. Each step is written to the parking folder before it is done, so that a later
// RetryUndo can undo what a crash interrupted; where it cannot be written, it is not done.
TMoveResult MoveTreeOver(const std::wstring& from, const std::wstring& to,
                         const std::wstring& parking, TMoveFailure* failure = nullptr);

// Runs again the undo steps that a kept parking folder lists. True when none is left
// to do; the folder is then removed. A step whose file is gone, or whose place was
// removed meanwhile (the add-on was removed), counts as done. Only steps whose paths lie
// inside the folder that holds `parking` (the install root), and there in `parking` or
// outside every other work folder, are run: any other step is not ours, is never run,
// and stays in the list (false, and `foreignSteps` receives true).
bool RetryUndo(const std::wstring& parking, bool* foreignSteps = nullptr);

// True when `parking` is a folder kept by MoveTreeOver with undo steps still to do, also
// one that a crash interrupted.
bool IsKeptParking(const std::wstring& parking);

// Builds under `to` (which must not exist) the folders of the tree `from` and one hard
// link to every one of its files (or, with `copy`, a copy of it). False when any file
// cannot be linked or copied (no hard links on that file system, another volume, a
// full disk); `to` is then removed again.
bool LinkTree(const std::wstring& from, const std::wstring& to, bool copy = false);

// True when some file of the tree has no other name than this one: after LinkTree and a
// deletion of the original, the data of that file lives only here.
bool HoldsLastLink(const std::wstring& tree);

// Removes a tree of second names or copies made by LinkTree without changing the files
// they name: a read-only file keeps its attribute under its other names. The caller
// makes sure first that nothing in it is needed any more (HoldsLost).
void DeleteLinks(const std::wstring& tree);

// True when some file of the tree `tree` has no other name and its place under
// `original` holds neither the same file nor one of equal bytes: the tree then holds the
// only copy of it.
bool HoldsLost(const std::wstring& tree, const std::wstring& original);

// Writes to `listPath` the line `title` and the relative path of every file of the
// tree, one a line. False when the list cannot be written whole.
bool WriteTreeList(const std::wstring& tree, const std::wstring& listPath,
                   const std::wstring& title);

// The title of the list at `listPath` when the tree holds no link and only files the
// list names (some may be gone); empty when it does not, or there is no such list.
std::wstring TreeListTitle(const std::wstring& tree, const std::wstring& listPath);

// Counts the files of the tree (folders not counted).
int CountFiles(const std::wstring& tree);

// Moves back every file and folder of `from` whose place under `to` is empty, creating
// the folders on the way (also on another volume, where files are copied and folders
// built anew); what already exists under `to` stays as it is.
void RestoreMissing(const std::wstring& from, const std::wstring& to);

}  // namespace install
