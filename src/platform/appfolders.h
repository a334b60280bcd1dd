#pragma once
// Where the program keeps "Files" (templates and file lists, written by the
// user) and finds "Samples" (drawings shipped with it).
//
// A program run from a build tree or copied into a folder of its own keeps
// both beside the program file. An installed program (its folder is a "bin"
// with the package's data folder "share/quorvane" beside it) cannot write
// there: "Files" then lives in the user's data folder, "Samples" in the
// package's data folder, and output files are offered in the user's documents.

#include <QString>

namespace platform {

struct ApplicationFolders {
    QString files;    // no trailing separator
    QString samples;  // no trailing separator
    QString outputs;  // where "Save Output File As" opens unless a setting says otherwise
    bool installed = false;
};

// programFolder: the folder of the program file, without trailing separator.
ApplicationFolders applicationFolders(const QString& programFolder);

}  // namespace platform
