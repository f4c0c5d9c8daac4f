// The texts the stub shows, in English and German, as its users read them:
// checked in the built stub's resources (tests/stub_binary) and in the
// message boxes and dialog of real runs under Wine (tests/wine).
#pragma once

#include <string>
#include <string_view>

namespace sfx::test {

struct StubTexts {
  std::u16string_view corrupt;             // the corrupt-payload message
  std::u16string_view copy_failed_head;    // before the path of a file that cannot be written
  std::u16string_view copy_failed_tail;    // after it
  std::u16string_view no_result;           // the worker ended without a result
  std::u16string_view launch_failed_head;  // before the path of Setup.exe when it cannot be started
  std::u16string_view reason;              // the line that gives the system's reason
  std::u16string_view dialog_caption;      // the progress dialog
  std::u16string_view dialog_text;         // its text, the folder follows
};

inline constexpr StubTexts kEnglishTexts = {
    u"Error in installationdata!\r\nThe installprogram is corrupted, maybe it was damaged during "
    u"downloading.\r\nAborting installation",
    u"Error copying the file: \"",
    u"\"\r\nMaybe the harddisc is full or you haven't got write permission.",
    u"There was an error decompressing the files",
    u"The setup program could not be started: \"",
    u"\"\r\nReason: ",
    u"Preparing Mivor Installation",
    u"Please wait while decompressing installation files to:\n",
};

inline constexpr StubTexts kGermanTexts = {
    u"Fehler in den Installationsdaten\r\nDas Installationsprogramm ist defekt, evtl. wurde es beim Transport "
    u"besch\u00e4digt\r\nInstallation wurde abgebrochen!",
    u"Fehler beim Kopieren der Datei: \"",
    u"\"\r\nEvtl. ist die Festplatte voll oder es sind keine Schreibrechte vorhanden?",
    u"Beim Entpacken der Installationsdaten trat ein fataler Fehler auf",
    u"Das Setup-Programm konnte nicht gestartet werden: \"",
    u"\"\r\nGrund: ",
    u"Bereite Mivor Installation vor",
    u"Entpacke Mivor-Installationsdateien nach:\n",
};

#ifdef _WIN32
// A text as the wide string of the Windows calls (UTF-16 there as well).
inline std::wstring W(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

// The write-failure message naming `path` (a wide path).
inline std::wstring CopyFailed(const StubTexts& texts, const std::wstring& path) {
  return W(texts.copy_failed_head) + path + W(texts.copy_failed_tail);
}
#endif

}  // namespace sfx::test
