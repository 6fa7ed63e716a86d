#pragma once

#include <QString>

// Launching through the desktop: the temporary directory, the program associated with a
// document, the default web browser, and handing a document, address or program to the
// desktop. On Linux the desktop is reached through the freedesktop tools: xdg-mime for the
// MIME type and its default application, xdg-open for opening. None of these functions
// shows a message: a failure comes back as the empty string or as a result code. All of
// them run on the GUI thread and never wait for a program they start.
namespace dirwise::desktop {

// How shellOpen ended.
enum class OpenResult {
    HandedOver,    // the opener or the program was started
    NotFound,      // the target (document or program) does not exist
    AccessDenied,  // the program exists but cannot be started
    NoAssociation, // nothing to open the target with (no xdg-open)
};

// The scratch file's name and its whole content (16 bytes) for findDefaultBrowser.
inline constexpr char scratchFileName[] = "_temp.htm";
inline constexpr char scratchFileContent[] = "<HTML> <\\HTML>\r\n";

// The temporary directory ending in "/": $TMPDIR when set and not empty, else "/tmp/".
// Read from the environment at each call. Its existence is not checked, so a missing
// $TMPDIR makes the users of this fail rather than move elsewhere. Never empty.
[[nodiscard]] QString tempDir();

// The full path of the program that the desktop opens `documentPath` with: the document's
// MIME type (xdg-mime query filetype, else Qt's MIME database), the type's default
// application (xdg-mime query default), that desktop entry's Exec program found on $PATH.
// Returns the empty string when the document does not exist, no default is set, the entry
// is missing, or its program is not an executable. Blocks for at most a few seconds per
// xdg-mime query (a hung query is killed).
[[nodiscard]] QString findAssociatedProgram(const QString &documentPath);

// The full path of the program that opens ".htm" documents, or the empty string. Writes the
// scratch file "_temp.htm" (scratchFileContent) into browserScratchDir(), asks
// findAssociatedProgram about it and deletes it again on every path. A stale scratch file
// left by a crash is replaced. When the private directory cannot be made safely (missing
// or read-only temporary directory, or someone else's directory under our name) a fresh
// private directory is tried; when that fails too the result is empty and nothing is left.
[[nodiscard]] QString findDefaultBrowser();

// The private per-user directory for the scratch file: tempDir() + "dirwise-<uid>".
// findDefaultBrowser creates it with mode 0700 and uses it only when it is a real directory
// (not a link) owned by this user that nobody else can enter; the directory is kept.
[[nodiscard]] QString browserScratchDir();

// Opens `target` through the desktop, without waiting for anything that starts.
// - `target` is a web address (a scheme other than file:) or a local path (also file://).
// - A local target that does not exist, or an empty target, gives NotFound and starts
//   nothing.
// - Without `parameters` the document or address goes to `xdg-open`, started detached:
//   HandedOver when it started, NoAssociation when xdg-open cannot be started.
// - With `parameters`, a local `target` that is an executable (a path, or a name found on
//   $PATH) is started detached with `parameters` as its one argument (not split, so a path
//   with blanks arrives whole): HandedOver, or AccessDenied when it cannot be started; a
//   program name not on $PATH gives NotFound. A target that is not an executable is opened
//   as a document and the parameters are dropped.
// HandedOver means only that: the opener may still fail later, unseen.
[[nodiscard]] OpenResult shellOpen(const QString &target, const QString &parameters = QString());

// Opens a document or web address: shellOpen(target); only when that reports NotFound,
// shellOpen(findDefaultBrowser(), target), which does nothing when no browser is found.
// Any other result ends it. Nothing is reported.
void openTarget(const QString &target);

// openTarget with the busy pointer over the application's windows while it runs, for the
// window's commands: looking the browser up asks the desktop's tools, which may take
// seconds. Needs a QGuiApplication.
void openTargetWithBusyPointer(const QString &target);

} // namespace dirwise::desktop
