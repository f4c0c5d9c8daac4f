// Runs an installer under test and plays the user: every message box of the
// stub (caption "Mivor! Installer", owned by the installer's process) is
// read and answered with OK, until the installer has ended.
//
// The installer runs in a job object, so every process it starts (the
// extracted Setup.exe) is counted, and the run only returns once they have
// all ended. TEMP and TMP are set for the installer only, which is how each
// test gets a working folder of its own.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace sfx::test {

// What a run of an installer showed and did.
struct InstallerRun {
  bool started = false;   // the installer process could be created
  DWORD start_error = 0;  // else the system's error code of the last attempt
  bool finished = false;  // it ended within the time limit
  DWORD exit_code = 0;
  std::vector<std::wstring> messages;         // texts of the stub's message boxes, in order
  std::vector<std::wstring> dialog_captions;  // caption of the box's owner (the progress dialog), per box
  std::vector<std::wstring> dialog_texts;     // text of its IDC_PROGRESS_TEXT, per box
  DWORD processes = 0;                        // processes that ran in the job: the installer and what it launched
};

// Runs `installer` with TEMP and TMP set to `temp_folder`, answers message
// boxes, waits (at most `timeout_ms`) for it and its children to end. A
// start that fails for another reason than a file the loader refuses is
// tried again (twice at most, each attempt noted on stderr): under Wine on a
// loaded machine the new process can fail in Wine's own start-up, before
// any code of the installer runs.
// `on_message`, when given, is called with each box's text while the box is
// still open (the installer waits there), before it is answered.
InstallerRun RunInstaller(const std::string& installer, const std::string& temp_folder, DWORD timeout_ms,
                          const std::function<void(const std::wstring&)>& on_message = {});

// UTF-8 form of a wide text, and the reverse.
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

}  // namespace sfx::test
