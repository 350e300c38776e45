#pragma once
// The values the dialogs and the communication module share for the whole
// process: the settings record, the current-controller record, the network
// password, the marked entry and the upgrade flag.
#include <QString>
#include <cstdint>

#include "support/vbool.h"

namespace zelmar::comm {

// What the setup command writes into a controller.
struct SettingsRecord {
    VBool UseConnectedController = vbFalse;
    VBool UseDhcp = vbFalse;  // False until the first ResetSettings, True after it
    QString IpAddress;
    QString SubnetMask;
    QString Gateway;
    QString DnsServer;
    QString DnsName;
    QString HostName;
    QString Domain;
    VBool RequireEncryption = vbFalse;
    QString EncryptionPassword;
    QString MainComputerAddress;
    QString Name;
    QString SerialNo;
    QString EthernetAddress;
    QString Description;
};

// The controller chosen in the search dialog.
struct CurrentControllerRecord {
    VBool UseDhcp = vbFalse;
    QString IpAddress;
    QString SubnetMask;
    QString Gateway;
    QString DnsServer;
    QString DnsName;
    QString MainComputerAddress;
    QString Name;
    QString SerialNo;
    QString EthernetAddress;
    QString Description;
    VBool RequireEncryption = vbFalse;
    VBool PasswordOk = vbFalse;
};

// Encryption choices made in the security dialog that no setup has written yet
// (comm/encryption_choice.h). Kept apart from the settings record, which a
// fresh service object resets.
struct HeldEncryptionChoice {
    bool Held = false;
    QString SerialNo;  // the controller shown when they were made; empty: none was shown
    VBool RequireEncryption = vbFalse;
    QString EncryptionPassword;
};

struct SharedState {
    SettingsRecord Settings;
    CurrentControllerRecord CurrentController;
    QString NetworkPassword;
    std::int16_t SelectedEntryIndex = -1;
    VBool UpgradeInProgress = vbFalse;
    HeldEncryptionChoice EncryptionChoice;
};

// The one process-wide instance. Tests put it back with `state() = SharedState{}`.
SharedState& state();

// Every field of the settings record to its reset value (UseDhcp True, the rest empty or False).
void ResetSettings();

}  // namespace zelmar::comm
