#pragma once
// Where the window keeps its files. As ever, the settings file and the downloads live in the
// working folder; what changes that:
//  - the demo works in a folder of its own (Documents\TAVREL\Demo on Windows, ~/Tavrel/Demo
//    elsewhere), so a demo download or its settings never replace the technician's real ones;
//  - on Windows, the Start menu's shortcuts ask for the user's own Documents\TAVREL
//    (--documents): an installer cannot name that folder for every account of the PC;
//  - on Windows, a working folder that takes no files (Program Files, where Explorer starts a
//    double-clicked program) keeps the settings in %LOCALAPPDATA%\TAVREL and the downloads in
//    Documents\TAVREL, and the window says so the first time.
// Linux keeps the working folder in every other case: ~/Tavrel is the desktop launcher's choice.

#include <QString>

namespace tavrel {

struct PlaceInputs {
    bool windows = false;
    bool demo = false;
    bool documents = false;              // --documents: the Start menu's shortcuts
    QString current;                     // the working folder at start
    bool currentTakesFiles = true;       // a new file could be made there
    QString documentsFolder;             // the user's Documents (Windows) or home folder (Linux)
    QString localAppData;                // %LOCALAPPDATA% (Windows)
    bool fallbackSettingsExist = false;  // the fallback settings file was made before
};

struct FilePlaces {
    QString workFolder;      // downloads and every name without a folder
    QString settingsFolder;  // Tavreldwn.ini and the files kept beside it; empty: workFolder
    QString notice;          // to be told in the window, or empty
};

// The decision alone, from what the start found.
FilePlaces placeFiles(const PlaceInputs& in);

// What this start finds: the platform, the working folder and whether it takes a file, the
// user's folders.
PlaceInputs systemPlaceInputs(bool demo, bool documents);

// Makes the folders, changes to the work folder and points the settings there. Returns why
// that failed, or empty.
QString applyFilePlaces(const FilePlaces& places);

// True when a new file can be made in `folder` (one is made and removed).
bool folderTakesFiles(const QString& folder);

}  // namespace tavrel
