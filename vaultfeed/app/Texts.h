#pragma once
// The program's own texts: captions, header titles and subtitles, the controls' labels and the
// messages it shows, each exactly as the user reads it.

namespace Vaultfeed::Texts {

inline constexpr const char* kWizardCaption = "Quarantine Import Wizard";
inline constexpr const char* kFolderTitle = "Source folder";
inline constexpr const char* kFolderSubtitle =
    "Select the folder that contains the quarantine files that you want to import";
inline constexpr const char* kSelectAnOption = "Please select an option.";
inline constexpr const char* kProgressTitle = "Importing files";
inline constexpr const char* kProgressSubtitle = "Please wait while importing data to the database";
inline constexpr const char* kConfirmExit = "Are you sure you want to exit the wizard?";
inline constexpr const char* kChooserTitle = "Select the source folder :";
inline constexpr const char* kInputAFolder = "Please input a source folder name.";
inline constexpr const char* kConfigurationFailed = "Failed to read product configuration.";
inline constexpr const char* kNetNameTitle = "Network Name";
inline constexpr const char* kNetNameSubtitle =
    "Select the Cluster Group and Network Name cluster resource that corresponds to the Velmora installation";
inline constexpr const char* kSelectANetworkName = "Please select a Network Name.";

// The welcome page.
inline constexpr const char* kWelcomeTitle = "Welcome to the Quarantine Import Wizard";
inline constexpr const char* kWelcomeText =
    "The Quarantine Import Wizard helps you import header data for quarantined files into the database. You can "
    "use this wizard for an upgrade or for recovery purposes.";
inline constexpr const char* kWelcomeContinue = "To continue, click Next.";

// The folder page.
inline constexpr const char* kOptionQuarantineFolder =
    "The files that I want to import are already in the quarantine folder";
inline constexpr const char* kOptionManualFolder = "Manually select the folder";
inline constexpr const char* kSourceFolderLabel = "Source folder :";
inline constexpr const char* kBrowse = "Browse";

// The network-name page.
inline constexpr const char* kInstanceLabel = "Instance:";
inline constexpr const char* kNetworkNameLabel = "Network name:";

// The progress page and the unattended dialog.
inline constexpr const char* kProgressLabel = "Progress :";
inline constexpr const char* kDialogCaption = "Importing quarantine files";
inline constexpr const char* kOk = "OK";
inline constexpr const char* kCancel = "Cancel";
inline constexpr const char* kResumeSetup = "Failed to import files. Press OK to resume product setup.";

// The finish page.
inline constexpr const char* kFinishTitle = "You have completed the Quarantine Import Wizard";
inline constexpr const char* kFinishClose = "To close this wizard, click Finish.";

} // namespace Vaultfeed::Texts
