#pragma once
// What the site library tells the technician: a problem of a plan, the
// detail of an outcome, a note on the way. It says it as a code and its
// arguments (values, fields, serial numbers, rows), never as prose; each face
// words it: zelmar-netctl in English (english()), the site window through its
// texts catalogue, in the technician's language. A phrase may go on with
// another after a colon ("parked at 10.30.255.254: for 10-00005 to leave
// 10.30.0.6: nothing was sent").
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelmar::site {

// Each code with the name a journal keeps it by and its English words, %1... its arguments.
#define ZELMAR_SITE_PHRASES(X)                                                                                          \
    X(None, "none", "")                                                                                                \
    /* A plan file as a whole, its CSV, its header and its rows. */                                                    \
    X(CannotRead, "cannotRead", "cannot read %1: %2")                                                                  \
    X(FileTooLarge, "fileTooLarge", "%1 is larger than 16 MiB: not a plan")                                           \
    X(FileIsUtf16, "fileIsUtf16", "the file is UTF-16 text: save the sheet as CSV UTF-8")                             \
    X(FileNotUtf8, "fileNotUtf8", "the file is not UTF-8 text: save the sheet as CSV UTF-8")                          \
    X(CellNotUtf8, "cellNotUtf8", "a cell is not UTF-8 text: save the sheet as CSV UTF-8")                            \
    X(FileEmpty, "fileEmpty", "the file is empty")                                                                     \
    X(QuoteNotClosed, "quoteNotClosed", "a quoted field is not closed")                                               \
    X(TextAfterQuote, "textAfterQuote", "text after the closing quote of a field")                                    \
    X(BareQuote, "bareQuote", "a quote inside a field that is not enclosed in quotes")                               \
    X(ColumnTwice, "columnTwice", "the column is there twice")                                                         \
    X(UnknownColumns, "unknownColumns", "unknown columns: %1")                                                         \
    X(NoSerialColumn, "noSerialColumn", "no SerialNo column: rows are matched to controllers by serial number")       \
    X(NoRows, "noRows", "the plan has no rows: below its header there is no controller")                              \
    X(FewerCells, "fewerCells", "%1 cells where the header has %2 columns")                                            \
    X(MoreCells, "moreCells", "more cells than the header has columns")                                               \
    X(NoSerial, "noSerial", "no serial number")                                                                        \
    X(SerialTooLong, "serialTooLong", "the serial number is longer than %1 bytes")                                    \
    X(SerialNotClean, "serialNotClean", "the serial number holds a control character or is not UTF-8")                \
    X(SerialTwice, "serialTwice", "%1 is planned in row %2 too")                                                       \
    /* A value on its own, by the controllers' rules. */                                                               \
    X(TooLong, "tooLong", "is longer than %1 bytes")                                                                   \
    X(NotCleanText, "notCleanText", "holds a control character or is not UTF-8")                                      \
    X(NotHostName, "notHostName", "not a host name (letters, digits, hyphens and dots, at most 253 characters)")      \
    X(NotMainComputer, "notMainComputer", "neither an IPv4 address nor a host name")                                  \
    X(NotUsableHostAddress, "notUsableHostAddress",                                                                    \
      "not a usable host address (nor the network or broadcast address of its network)")                             \
    X(NotSubnetMaskRange, "notSubnetMaskRange", "not a subnet mask from /1 to /30")                                  \
    X(GatewayOutside, "gatewayOutside", "the gateway is not another host inside the controller's network")           \
    X(NotUsableDnsServer, "notUsableDnsServer", "not a usable host address")                                          \
    X(RefusedByRules, "refusedByRules", "refused by the controller's rules")                                          \
    X(NotAnAddress, "notAnAddress", "\"%1\" is not an IPv4 address")                                                 \
    X(NotAMask, "notAMask", "\"%1\" is not a subnet mask")                                                            \
    X(NotABoolean, "notABoolean", "\"%1\" is neither true nor false")                                                \
    X(NotEthernet, "notEthernet", "\"%1\" is not an Ethernet address")                                               \
    /* A row against the site. */                                                                                      \
    X(PlannedTwice, "plannedTwice", "%1 is planned for rows %2")                                                       \
    X(EncryptionNeedsPassword, "encryptionNeedsPassword",                                                              \
      "switching encryption on makes the network password the controller's key: give the network password "         \
      "(ZELMAR_PASSWORD or --password-stdin)")                                                                         \
    X(RequiresEncryption, "requiresEncryption",                                                                        \
      "the controller requires encryption: give the network password (ZELMAR_PASSWORD or --password-stdin)")         \
    X(PasswordNotAccepted, "passwordNotAccepted", "the controller does not accept the network password")              \
    X(CannotEncrypt, "cannotEncrypt", "the controller cannot encrypt")                                                \
    X(EthernetDiffers, "ethernetDiffers", "the controller %1 has the Ethernet address %2, not %3")                    \
    X(TakesDhcp, "takesDhcp", "the controller takes its address by DHCP: leave the cell empty or set UseDhcp to false") \
    X(LeavingDhcpNeeds, "leavingDhcpNeeds", "a controller that leaves DHCP needs a fixed %1")                          \
    X(NotFound, "notFound", "no controller %1 was found")                                                             \
    X(InUseOutsidePlan, "inUseOutsidePlan", "%1 is in use by the controller %2, which is not in the plan")           \
    X(LeaseKept, "leaseKept",                                                                                          \
      "%1 is the DHCP address of the controller %2 (row %3), which keeps it: plan a fixed address elsewhere for "    \
      "that controller, or another address here")                                                                      \
    X(NetworkMisfit, "networkMisfit", "%N")                                                                             \
    X(ParkingNotAnAddress, "parkingNotAnAddress", "the parking address \"%1\" is not an IPv4 address")              \
    X(ParkingHeld, "parkingHeld",                                                                                      \
      "rows %1 take each other's addresses; the parking address %2 is not free: the controller %3 holds it")         \
    X(ParkingNamed, "parkingNamed",                                                                                    \
      "rows %1 take each other's addresses; the parking address %2 is not free: the controller %3 names it as its " \
      "gateway, DNS server or main computer")                                                                          \
    X(ParkingPlanned, "parkingPlanned",                                                                                \
      "rows %1 take each other's addresses; the parking address %2 is not free: row %3 plans it")                     \
    X(ParkingPlannedAsServer, "parkingPlannedAsServer",                                                                \
      "rows %1 take each other's addresses; the parking address %2 is not free: row %3 names it as a gateway or "   \
      "DNS server")                                                                                                    \
    X(NoParkingAddress, "noParkingAddress",                                                                            \
      "rows %1 take each other's addresses; no free address in %2 to park a controller on: give a parking address")  \
    X(CycleUnordered, "cycleUnordered", "rows %1 take each other's addresses and cannot be ordered")                  \
    /* The outcome of a row of an apply. */                                                                            \
    X(NotFoundNothingSent, "notFoundNothingSent", "not found: nothing was sent")                                      \
    X(CheckUnanswered, "checkUnanswered",                                                                              \
      "no answer to the network check: the setup was not sent, the controller is unchanged")                         \
    X(CheckRefused, "checkRefused", "%N (network check): the setup was not sent")                                     \
    X(WaitingFor, "waitingFor", "for %1 to leave %2: nothing was sent")                                               \
    X(SetupRefused, "setupRefused", "%S: nothing changed")                                                            \
    X(SetupUnanswered, "setupUnanswered", "no answer: the controller may or may not have taken the settings (state unknown)") \
    X(ReadBackUnanswered, "readBackUnanswered", "confirmed, but the controller did not answer the read-back")         \
    X(ReadsBackOther, "readsBackOther", "confirmed, but reads back other values in %1")                               \
    X(ServiceFailedInSetup, "serviceFailedInSetup",                                                                    \
      "the service failed during its setup (%1): the controller may or may not have taken the settings")             \
    X(OnTheWayToParking, "onTheWayToParking", "on the way to its parking address %1")                                 \
    X(ParkedAt, "parkedAt", "parked at %1")                                                                            \
    X(StoppedBeforePlanned, "stoppedBeforePlanned", "stopped before its planned settings were sent")                  \
    /* Notes and progress of a plan. */                                                                                \
    X(CheckNotAnswered, "checkNotAnswered",                                                                            \
      "row %1: the controller did not answer the network check; it is asked again before its setup")                 \
    X(CycleParked, "cycleParked", "rows %1 take each other's addresses: %2 waits on %3 while the others move")        \
    X(SharedNow, "sharedNow", "two controllers on one address now: %A")                                               \
    X(SearchingAgain, "searchingAgain", "%1 %C of the list did not answer the search: searching once more ...")     \
    X(LookingUp, "lookingUp", "looking up %1 %C that no search heard ...")                                            \
    X(ParkedProgress, "parkedProgress", "%1 parked at %2")                                                            \
    /* The outcome of an upgrade. */                                                                                   \
    X(PasswordRefused, "passwordRefused", "the network password was not accepted")                                   \
    X(NoPasswordGiven, "noPasswordGiven", "it requires encryption and no network password was given")               \
    X(NothingSent, "nothingSent", "nothing sent")                                                                      \
    X(NoFileForType, "noFileForType", "no file for port OS type %1: nothing sent")                                   \
    X(RunsNewer, "runsNewer", "it runs %1, newer than the file's %2: nothing sent")                                  \
    X(NoLongerAnswers, "noLongerAnswers", "it no longer answers: nothing sent, the old revision runs")               \
    X(TransferProblem, "transferProblem", "%1")                                                                        \
    X(SilentAfterRestart, "silentAfterRestart", "it confirmed the switch to %1 and did not answer after its restart") \
    X(RunsOtherAfterRestart, "runsOtherAfterRestart", "it confirmed the switch to %1 but runs %2 after its restart")  \
    X(DidNotAnswerSearch, "didNotAnswerSearch", "it did not answer the search: nothing sent")                        \
    X(ServiceFailedInUpgrade, "serviceFailedInUpgrade", "the service failed during its upgrade (%1)")                \
    X(FoundLate, "foundLate", "found only by a search after the run")                                                \
    X(SearchingForMore, "searchingForMore", "searching the site once more for controllers not seen ...")            \
    X(MayHoldMore, "mayHoldMore",                                                                                      \
      "each of %1 searches after the run found controllers not seen before: the site may hold more; run again")     \
    /* Upgrade files. */                                                                                               \
    X(InvalidUpgradeFile, "invalidUpgradeFile", "%1 is not a valid TCP/IP Port OS upgrade file: %2")                 \
    X(TwoFilesForType, "twoFilesForType", "%1 and %2 are both for port OS type %3: give one file for each type")

enum class Say {
#define ZELMAR_SITE_PHRASE_CODE(code, name, english) code,
    ZELMAR_SITE_PHRASES(ZELMAR_SITE_PHRASE_CODE)
#undef ZELMAR_SITE_PHRASE_CODE
};

struct Phrase {
    Say say = Say::None;
    std::vector<std::string> args;
    std::vector<Phrase> then;  // what it goes on with after a colon: none or one

    bool empty() const { return say == Say::None; }
    Phrase& followedBy(Phrase next);
};

Phrase phrase(Say say, std::vector<std::string> args = {});

// The English words, as zelmar-netctl prints them. In an English format %N
// stands for the network check's findings (the bits of the first argument),
// %S for a setup's refusal (its status), %C for "controller(s)" by the first
// argument's count, %A for the addresses two controllers share (address,
// serial numbers, those of them by DHCP).
std::string english(const Phrase& phrase);

// The English words on a stream (logs, test messages).
std::ostream& operator<<(std::ostream& out, const Phrase& phrase);

// The name a journal keeps a code by, and the code of a name.
std::string_view nameOf(Say say);
std::optional<Say> sayNamed(std::string_view name);

}  // namespace zelmar::site
