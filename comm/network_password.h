#pragma once
// The network password a controller that requires encryption is opened with:
// asked for (masked) until the controller opens, and what the connected
// controller needs before it can be shown.
#include <QString>
#include <cstdint>

namespace zelmar::comm {

enum class Access {
    Open,       // the controller is opened (or needs no password)
    Cancelled,  // the technician cancelled the password prompt
    NotFound,   // the controller was not found (again, with the password typed)
};

// The current-controller record's PasswordOk := whether the network password
// opens the controller of entry `index`, as the service reports it.
void CopyPasswordOk(std::int16_t index);

// The current-controller record's controller: while the record says it
// requires encryption and the network password does not open it, asks for the
// password and looks the controller up again with every answer; the record's
// PasswordOk follows what the service then reports.
Access OpenCurrentController();

// The controller a setup is about to write: looked up by `serialNo`; while it
// requires encryption and the network password does not open it, asks for the
// password as above. An opened controller that tells its name is marked to
// take the written settings.
Access OpenControllerForSetup(const QString& serialNo);

// The connected controller that ReadConnectedController has just read into the
// settings record is about to be shown. Without its password one that
// requires encryption told only its identity: then it becomes the current
// controller, to be asked for and shown as a chosen one (true). Otherwise its
// encryption state goes into the current-controller record and its
// encryption into the settings record, and the settings record is shown (false).
bool ConnectedControllerNeedsPassword();

}  // namespace zelmar::comm
