// Quenrix on Windows: repairs GPS receiver files after a week-number
// rollover. With an argument it converts the files named and closes;
// without one it shows the wizard. Only one copy runs at a time.
#include <windows.h>

#include <string>
#include <vector>

#include "app/core/command_line.h"
#include "app/win32/instance_mutex.h"
#include "app/win32/main_window.h"
#include "support/file_ops.h"
#include "support/native.h"
#include "support/utf16.h"

int main(int argc, char** argv) {
    // The arguments in UTF-8, as every path of the program.
    std::vector<std::string> arguments = quenrix::native::Arguments(argc, argv);
    if (const auto text = quenrix::InformationAskedFor(arguments)) {
        // To a script that reads the output, else in a box: a program
        // without a console started from one has nowhere to print.
        const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
        if (output != nullptr && output != INVALID_HANDLE_VALUE)
            quenrix::native::WriteText(quenrix::native::TextStream::Output, *text);
        else
            MessageBoxW(nullptr, quenrix::Utf16(*text).c_str(), L"Quenrix",
                        MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    if (quenrix::StartedInTheProgramFolder(arguments, quenrix::CurrentFolder(),
                                           quenrix::native::ExecutablePath()))
        quenrix::GoToDocumentsFolder();
    quenrix::InstanceMutex guard(quenrix::native::ExecutablePath());
    if (!guard.BecomeFirst())  // the running copy comes to the front
        return quenrix::NotTheFirstCopy(!arguments.empty());

    quenrix::MainWindow window(std::move(arguments), quenrix::WindowCatalogue());
    if (!window.Create())
        return 1;
    window.Show(SW_SHOWNORMAL);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!window.PreTranslate(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    // Automatic mode answers a script with its status; the window, 0.
    return window.Core().ExitStatus();
}
