// Where the modality worklist is, from the [Worklist] section of Quorvel.ini; the calling AE
// title is the one the [PACS] section gives this workstation.
#pragma once

#include <QString>
#include <string>
#include <vector>

struct WorklistSettings {
    static constexpr const char* kDefaultCallingAeTitle = "QUORVEL";
    // Capillaroscopy has no modality code of its own; pictures of the skin taken with a camera
    // are XC (external-camera photography), which is what a RIS schedules such a study under.
    static constexpr const char* kDefaultModality = "XC";

    std::string host;
    int port = 0;
    std::string calledAeTitle;
    std::string callingAeTitle = kDefaultCallingAeTitle;
    // The modality asked for; empty asks for every modality.
    std::string modality = kDefaultModality;
    // The keys of [Worklist] that are missing or not valid: Host, Port, CalledAETitle.
    std::vector<std::string> missing;

    bool Complete() const { return missing.empty(); }
    // host:port, for messages.
    std::string Address() const;

    // Reads the settings afresh from file; empty means Quorvel.ini in the settings folder.
    static WorklistSettings Load(const QString& file = QString());
    static QString DefaultFile();
};
