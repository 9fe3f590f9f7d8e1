// The output file's place: domains.txt in the working directory when that directory can be made to
// exist, else domains.txt in the current directory.
#pragma once
#include <string>

namespace lanternfold {

// The working directory is /var/lib/tidewell/ unless `directoryOverride` names another (not empty).
std::string ChooseOutputPath(const char *directoryOverride);
// domains.txt in the given directory, made to exist; false when it cannot be.
bool MakeOutputPath(const char *directory, std::string &outputPath);

} // namespace lanternfold
