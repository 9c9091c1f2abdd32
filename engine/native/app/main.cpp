#include <clocale>
#include <cstdio>
#include <exception>
#include <string>

#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/Log.h"

int main(int argc, char** argv) {
    // SDL passes a UTF-8 window title on only when the process locale is set.
    // Numbers are read and written in the classic form regardless.
    std::setlocale(LC_ALL, "");
    try {
        Quorvane::CommandLine commandLine;
        std::string error;
        if (!Quorvane::ParseCommandLine(argc, argv, commandLine, error)) {
            Quorvane::LogError(error);
            return 1;
        }
        if (commandLine.showHelp) {
            std::fputs(Quorvane::UsageText().c_str(), stdout);
            return 0;
        }
        if (commandLine.showVersion) {
            std::printf("quorvane %s\n", Quorvane::kVersion);
            return 0;
        }
        Quorvane::Application application;
        return application.Run(commandLine.projectPath, commandLine);
    } catch (const std::exception& error) {
        Quorvane::LogError(error.what());
        return 1;
    } catch (...) {
        Quorvane::LogError("Unexpected failure.");
        return 1;
    }
}
