#include "sitemodel/phrase_words.h"

#include <QStringList>
#include <map>
#include <set>

#include "platform/netservice/wire/wire.h"
#include "sitemodel/site_texts.h"

namespace zelmar::sitemodel {

namespace {
using site::Say;

// The catalogue's text of each code.
const std::map<Say, int>& numbers() {
    static const std::map<Say, int> of = {
    {site::Say::CannotRead, 4730},
    {site::Say::FileTooLarge, 4731},
    {site::Say::FileIsUtf16, 4732},
    {site::Say::FileNotUtf8, 4733},
    {site::Say::CellNotUtf8, 4734},
    {site::Say::FileEmpty, 4735},
    {site::Say::QuoteNotClosed, 4736},
    {site::Say::TextAfterQuote, 4737},
    {site::Say::BareQuote, 4738},
    {site::Say::ColumnTwice, 4739},
    {site::Say::UnknownColumns, 4740},
    {site::Say::NoSerialColumn, 4741},
    {site::Say::NoRows, 4742},
    {site::Say::FewerCells, 4743},
    {site::Say::MoreCells, 4744},
    {site::Say::NoSerial, 4745},
    {site::Say::SerialTooLong, 4746},
    {site::Say::SerialNotClean, 4747},
    {site::Say::SerialTwice, 4748},
    {site::Say::TooLong, 4749},
    {site::Say::NotCleanText, 4750},
    {site::Say::NotHostName, 4751},
    {site::Say::NotMainComputer, 4752},
    {site::Say::NotUsableHostAddress, 4753},
    {site::Say::NotSubnetMaskRange, 4754},
    {site::Say::GatewayOutside, 4755},
    {site::Say::NotUsableDnsServer, 4756},
    {site::Say::RefusedByRules, 4757},
    {site::Say::NotAnAddress, 4758},
    {site::Say::NotAMask, 4759},
    {site::Say::NotABoolean, 4760},
    {site::Say::NotEthernet, 4761},
    {site::Say::PlannedTwice, 4762},
    {site::Say::EncryptionNeedsPassword, 4763},
    {site::Say::RequiresEncryption, 4764},
    {site::Say::PasswordNotAccepted, 4765},
    {site::Say::CannotEncrypt, 4766},
    {site::Say::EthernetDiffers, 4767},
    {site::Say::TakesDhcp, 4768},
    {site::Say::LeavingDhcpNeeds, 4769},
    {site::Say::NotFound, 4770},
    {site::Say::InUseOutsidePlan, 4771},
    {site::Say::LeaseKept, 4772},
    {site::Say::NetworkMisfit, 4773},
    {site::Say::ParkingNotAnAddress, 4774},
    {site::Say::ParkingHeld, 4775},
    {site::Say::ParkingNamed, 4776},
    {site::Say::ParkingPlanned, 4777},
    {site::Say::ParkingPlannedAsServer, 4778},
    {site::Say::NoParkingAddress, 4779},
    {site::Say::CycleUnordered, 4780},
    {site::Say::NotFoundNothingSent, 4781},
    {site::Say::CheckUnanswered, 4782},
    {site::Say::CheckRefused, 4783},
    {site::Say::WaitingFor, 4784},
    {site::Say::SetupRefused, 4785},
    {site::Say::SetupUnanswered, 4786},
    {site::Say::ReadBackUnanswered, 4787},
    {site::Say::ReadsBackOther, 4788},
    {site::Say::ServiceFailedInSetup, 4789},
    {site::Say::OnTheWayToParking, 4790},
    {site::Say::ParkedAt, 4791},
    {site::Say::StoppedBeforePlanned, 4792},
    {site::Say::CheckNotAnswered, 4793},
    {site::Say::CycleParked, 4794},
    {site::Say::SharedNow, 4795},
    {site::Say::SearchingAgain, 4796},
    {site::Say::LookingUp, 4797},
    {site::Say::ParkedProgress, 4798},
    {site::Say::PasswordRefused, 4799},
    {site::Say::NoPasswordGiven, 4800},
    {site::Say::NothingSent, 4801},
    {site::Say::NoFileForType, 4802},
    {site::Say::RunsNewer, 4803},
    {site::Say::NoLongerAnswers, 4804},
    {site::Say::TransferProblem, 4805},
    {site::Say::SilentAfterRestart, 4806},
    {site::Say::RunsOtherAfterRestart, 4807},
    {site::Say::DidNotAnswerSearch, 4808},
    {site::Say::ServiceFailedInUpgrade, 4809},
    {site::Say::FoundLate, 4810},
    {site::Say::SearchingForMore, 4811},
    {site::Say::MayHoldMore, 4812},
    {site::Say::InvalidUpgradeFile, 4813},
    {site::Say::TwoFilesForType, 4814}
    };
    return of;
}

// Texts of the catalogue beside the codes' own.
enum Extra : int {
    SearchingAgainOne = 4830,
    LookingUpOne = 4831,
    MisfitOutside = 4832,
    MisfitInvalid = 4833,
    MisfitReserved = 4834,
    MisfitMask = 4835,
    MisfitGatewayOutside = 4836,
    MisfitGatewayInvalid = 4837,
    MisfitDns = 4838,
    MisfitAny = 4839,
    RefusalInvalid = 4840,
    RefusalNotPermitted = 4841,
    RefusalUnsupported = 4842,
    RefusalNotStored = 4843,
    RefusalOther = 4844,
    RowOf = 4845,
    RowsOf = 4846,
};

QString numbered(int number) { return text(Text(number)); }

// Which arguments of a code are plan rows (a row, or rows with ", " between).
const std::set<std::size_t>& rowArguments(Say say) {
    static const std::map<Say, std::set<std::size_t>> of = {
        {Say::PlannedTwice, {1}},     {Say::SerialTwice, {1}},      {Say::CheckNotAnswered, {0}},
        {Say::CycleUnordered, {0}},   {Say::CycleParked, {0}},      {Say::NoParkingAddress, {0}},
        {Say::ParkingHeld, {0}},      {Say::ParkingNamed, {0}},     {Say::ParkingPlanned, {0, 2}},
        {Say::ParkingPlannedAsServer, {0, 2}}};
    static const std::set<std::size_t> none;
    const auto it = of.find(say);
    return it == of.end() ? none : it->second;
}

QString rowsNamed(const std::string& rows, const RowNamer& rowName) {
    const QStringList list = QString::fromStdString(rows).split(QStringLiteral(", "), Qt::SkipEmptyParts);
    QStringList names;
    for (const QString& r : list) {
        const QString name = rowName ? rowName(r.toInt()) : QString();
        if (name.isEmpty())  // the plan file's rows, before any controller is known
            return numbered(list.size() == 1 ? RowOf : RowsOf).arg(QString::fromStdString(rows));
        names << name;
    }
    names.sort();  // the same words whatever order the table is in
    return names.join(QStringLiteral(", "));
}

// The network check's findings, each in words.
QString misfits(std::uint32_t bits) {
    namespace wire = net::wire;
    const std::pair<std::uint32_t, int> each[] = {
        {wire::CheckAddressOutsideNetwork, MisfitOutside}, {wire::CheckAddressInvalid, MisfitInvalid},
        {wire::CheckAddressReserved, MisfitReserved},      {wire::CheckMaskInvalid, MisfitMask},
        {wire::CheckGatewayOutsideNetwork, MisfitGatewayOutside}, {wire::CheckGatewayInvalid, MisfitGatewayInvalid},
        {wire::CheckDnsServerInvalid, MisfitDns}};
    QStringList found;
    for (const auto& [bit, number] : each)
        if (bits & bit)
            found << numbered(number);
    return found.isEmpty() ? numbered(MisfitAny) : found.join(QStringLiteral("; "));
}

QString refusal(int status) {
    switch (net::wire::Status(status)) {
    case net::wire::Status::Invalid: return numbered(RefusalInvalid);
    case net::wire::Status::Refused: return numbered(RefusalNotPermitted);
    case net::wire::Status::Unsupported: return numbered(RefusalUnsupported);
    case net::wire::Status::NotStored: return numbered(RefusalNotStored);
    default: return numbered(RefusalOther).arg(status);
    }
}

QString filledIn(const site::Phrase& p, const RowNamer& rowName) {
    const auto arg = [&](std::size_t i) { return i < p.args.size() ? p.args[i] : std::string(); };
    switch (p.say) {
    case Say::None: return {};
    case Say::NetworkMisfit: return numbered(numbers().at(p.say)).arg(misfits(std::uint32_t(std::stoul("0" + arg(0)))));
    case Say::CheckRefused: return numbered(numbers().at(p.say)).arg(misfits(std::uint32_t(std::stoul("0" + arg(0)))));
    case Say::SetupRefused: return numbered(numbers().at(p.say)).arg(refusal(std::stoi("0" + arg(0))));
    case Say::SearchingAgain:
        if (arg(0) == "1")
            return numbered(SearchingAgainOne);
        break;
    case Say::LookingUp:
        if (arg(0) == "1")
            return numbered(LookingUpOne);
        break;
    default: break;
    }
    QString words = numbered(numbers().at(p.say));
    const std::set<std::size_t>& rows = rowArguments(p.say);
    for (std::size_t i = 0; i < p.args.size(); ++i) {
        const QString value = rows.count(i) ? rowsNamed(p.args[i], rowName) : QString::fromStdString(p.args[i]);
        words.replace(QStringLiteral("%") + QString::number(i + 1), value);
    }
    return words;
}
}  // namespace

QString wordsOf(const site::Phrase& phrase, const RowNamer& rowName) {
    QString words = filledIn(phrase, rowName);
    for (const site::Phrase& next : phrase.then)
        words += (words.isEmpty() ? QString() : QStringLiteral(": ")) + wordsOf(next, rowName);
    return words;
}

QString detailWords(const site::ControllerUpgrade& u) {
    QStringList parts;
    if (u.result == site::UpgradeResult::Upgraded || u.result == site::UpgradeResult::Downgraded)
        parts << QString::fromStdString(u.revisionBefore + " -> " + u.revisionAfter);
    if (!u.detail.empty())
        parts << wordsOf(u.detail);
    if (u.foundLate)
        parts << wordsOf(site::phrase(Say::FoundLate));
    return parts.join(QStringLiteral("; "));
}

QString columnCaption(const std::string& column) {
    static const std::map<std::string, Text> captions = {
        {"SerialNo", TextHeaderSerialNo},
        {"EthernetAddress", TextHeaderEthernet},
        {"Name", TextHeaderPlannedName},
        {"Description", TextHeaderPlannedDescription},
        {"UseDhcp", TextHeaderPlannedDhcp},
        {"IpAddress", TextHeaderPlannedIpAddress},
        {"SubnetMask", TextHeaderPlannedSubnetMask},
        {"Gateway", TextHeaderPlannedGateway},
        {"DnsServer", TextHeaderPlannedDnsServer},
        {"DnsName", TextHeaderPlannedHostName},
        {"MainComputerAddress", TextHeaderPlannedMainComputer},
        {"RequireEncryption", TextHeaderEncryption}};
    const auto it = captions.find(column);
    return it == captions.end() ? QString::fromStdString(column) : text(it->second);
}

}  // namespace zelmar::sitemodel
