#include "sitemodel/site_session.h"

#include <algorithm>
#include <mutex>

#include "platform/netservice/net_service.h"
#include "site/site_search.h"

namespace zelmar::sitemodel {

namespace {
// The plan work's reports, as the session's signals.
class PlanSignals : public site::PlanListener {
public:
    explicit PlanSignals(SiteSession& s) : s_(s) {}
    void progress(const site::Phrase& said) override { emit s_.progress(said); }
    void note(const site::Phrase& said) override { emit s_.note(said); }
    void rowStarted(int row) override { emit s_.rowStarted(row); }
    void rowEnded(const site::RowOutcome& o, int done, int total) override { emit s_.rowEnded(o, done, total); }
    void readingBack() override { emit s_.readingBack(); }

private:
    SiteSession& s_;
};

// The upgrade work's reports, by serial number; a transfer's share only when it changed.
class UpgradeSignals : public site::UpgradeListener {
public:
    explicit UpgradeSignals(SiteSession& s) : s_(s) {}
    void progress(const site::Phrase& said) override { emit s_.progress(said); }
    void note(const site::Phrase& said) override { emit s_.note(said); }
    void batchStarting(const std::vector<site::ControllerRecord>& controllers) override {
        std::lock_guard hold(lock_);
        serials_.clear();
        for (const site::ControllerRecord& c : controllers)
            serials_.push_back(QString::fromStdString(c.serialNo));
        shown_.assign(controllers.size(), -1);
    }
    void transferring(std::size_t slot, int percent) override {
        std::lock_guard hold(lock_);
        if (slot >= serials_.size() || shown_[slot] == percent)
            return;
        shown_[slot] = percent;
        emit s_.transferring(serials_[slot], percent);
    }
    void restarting(std::size_t slot) override {
        std::lock_guard hold(lock_);
        if (slot < serials_.size())
            emit s_.restarting(serials_[slot]);
    }
    void finished(std::size_t, const site::ControllerUpgrade& upgrade) override { emit s_.upgradeEnded(upgrade); }

private:
    SiteSession& s_;
    std::mutex lock_;
    std::vector<QString> serials_;
    std::vector<int> shown_;
};
}  // namespace

SiteSession::SiteSession(net::ServiceConfig config, QObject* parent) : QObject(parent), config_(std::move(config)) {
    // What the work found is kept on this thread, where the window asks for it.
    connect(this, &SiteSession::checked, this, [this](const site::CheckedPlan& c) { lastCheck_ = c; });
    connect(this, &SiteSession::upgradeTargetsFound, this, [this](const site::UpgradeTargets& t) { lastTargets_ = t; });
}

SiteSession::~SiteSession() {
    if (worker_) {
        stop();
        worker_->wait();
        delete worker_;
    }
}

void SiteSession::addPassword(const std::string& password) {
    if (!password.empty() && std::find(passwords_.begin(), passwords_.end(), password) == passwords_.end())
        passwords_.push_back(password);
}

site::SiteSettings SiteSession::settings() const {
    site::SiteSettings s;
    s.config = config_;
    s.passwords = passwords_;
    s.jobs = jobs_;
    s.parking = parking_;
    return s;
}

template <typename Work>
bool SiteSession::start(Work work) {
    if (worker_)
        return false;
    auto stop = std::make_shared<site::StopFlag>();
    stop_ = stop.get();
    worker_ = QThread::create([work, stop] { work(*stop); });
    connect(worker_, &QThread::finished, this, [this] {
        worker_->deleteLater();
        worker_ = nullptr;
        stop_ = nullptr;
        emit idle();
    });
    worker_->start();
    return true;
}

void SiteSession::stop() {
    if (stop_)
        stop_->request();
}

bool SiteSession::search() {
    const net::ServiceConfig config = config_;
    const std::vector<std::string> passwords = passwords_;
    return start([this, config, passwords](site::StopFlag&) {
        try {
            net::NetService service(config);
            service.setPasswords(passwords);
            service.Search();
            emit searched(site::recordsOf(service), true);
        } catch (const std::exception& e) {
            emit failed(QString::fromUtf8(e.what()));
        }
    });
}

bool SiteSession::findMore(const QString& address, const QString& mask) {
    const net::ServiceConfig config = config_;
    const std::vector<std::string> passwords = passwords_;
    return start([this, config, passwords, address, mask](site::StopFlag&) {
        try {
            net::NetService service(config);
            if (!service.IsValidAddress(address.toStdString())) {
                emit invalidAddress(address);
                return;
            }
            if (mask.isEmpty())
                service.AddAddress(address.toStdString());
            else
                service.AddNetwork(address.toStdString(), mask.toStdString());
            service.setPasswords(passwords);
            service.Search();
            std::vector<site::ControllerRecord> heard;
            for (std::int32_t i = 0; i < service.ControllerCount(); ++i)
                if (auto e = service.Item(std::int16_t(i)); e->AnsweredLastSearch())
                    heard.push_back(site::recordOf(*e));
            if (heard.empty())
                emit noneFoundAt(mask.isEmpty() ? address : address + QLatin1Char('/') + mask);
            else
                emit searched(heard, false);
        } catch (const std::exception& e) {
            emit failed(QString::fromUtf8(e.what()));
        }
    });
}

bool SiteSession::mark(const std::string& serial, bool on, const std::string& previous) {
    const net::ServiceConfig config = config_;
    const std::vector<std::string> passwords = passwords_;
    return start([this, config, passwords, serial, on, previous](site::StopFlag&) {
        try {
            net::NetService service(config);
            service.setPasswords(passwords);
            if (!previous.empty() && previous != serial)
                if (const auto before = site::lookUpAnswering(service, previous))
                    emit marked(QString::fromStdString(previous), false, before->UnmarkSelected());
            const auto entry = site::lookUpAnswering(service, serial);
            const bool answered = entry && (on ? entry->MarkSelected() : entry->UnmarkSelected());
            emit marked(QString::fromStdString(serial), on, answered);
        } catch (const std::exception& e) {
            emit failed(QString::fromUtf8(e.what()));
        }
    });
}

bool SiteSession::check(const site::SitePlan& plan) {
    if (worker_)
        return false;
    const site::SiteSettings s = settings();
    return start([this, s, plan](site::StopFlag&) {
        try {
            // Made and dropped here: a work's service objects take a while to open and close.
            planWork_.reset();
            planWork_ = std::make_unique<site::PlanWork>(s);
            PlanSignals listener(*this);
            emit checked(planWork_->check(plan, listener));
        } catch (const std::exception& e) {
            emit failed(QString::fromUtf8(e.what()));
        }
    });
}

bool SiteSession::apply() {
    if (worker_ || !planWork_)
        return false;
    site::PlanWork* work = planWork_.get();
    const site::CheckedPlan checked = lastCheck_;
    return start([this, work, checked](site::StopFlag& stop) {
        PlanSignals listener(*this);
        site::AppliedPlan result;
        QString error;
        try {
            work->apply(checked, listener, result, &stop);
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
        }
        emit applied(result, error);
    });
}

bool SiteSession::findUpgrades(const std::vector<std::string>& serials, std::shared_ptr<const site::UpgradeFiles> files) {
    if (worker_)
        return false;
    files_ = std::move(files);
    const site::SiteSettings s = settings();
    return start([this, s, serials](site::StopFlag&) {
        try {
            upgradeWork_.reset();
            upgradeWork_ = std::make_unique<site::UpgradeWork>(s, *files_);
            UpgradeSignals listener(*this);
            emit upgradeTargetsFound(upgradeWork_->find(serials, false, listener));
        } catch (const std::exception& e) {
            emit failed(QString::fromUtf8(e.what()));
        }
    });
}

bool SiteSession::upgrade(bool allowOlder) {
    if (worker_ || !upgradeWork_)
        return false;
    site::UpgradeWork* work = upgradeWork_.get();
    const site::UpgradeTargets targets = lastTargets_;
    return start([this, work, targets, allowOlder](site::StopFlag& stop) {
        UpgradeSignals listener(*this);
        site::UpgradeRun result;
        QString error;
        try {
            work->upgrade(targets, false, listener, result, &stop, allowOlder);
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
        }
        emit upgraded(result, error);
    });
}

}  // namespace zelmar::sitemodel
