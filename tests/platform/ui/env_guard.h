#pragma once
// Sets or removes environment variables for one test and puts the old values back.
#include <QByteArray>
#include <QList>
#include <QtGlobal>
#include <utility>

namespace zelmar::testing {

class EnvGuard {
public:
    EnvGuard() = default;
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;
    ~EnvGuard() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->wasSet)
                qputenv(it->name.constData(), it->value);
            else
                qunsetenv(it->name.constData());
        }
    }
    void set(const char* name, const QByteArray& value) {
        remember(name);
        qputenv(name, value);
    }
    void unset(const char* name) {
        remember(name);
        qunsetenv(name);
    }

private:
    struct Saved {
        QByteArray name;
        bool wasSet;
        QByteArray value;
    };
    void remember(const char* name) {
        saved_.append({name, qEnvironmentVariableIsSet(name), qgetenv(name)});
    }
    QList<Saved> saved_;
};

// A test sees the alias folders only through what it sets itself.
inline void clearAliasEnvironment(EnvGuard& env) {
    env.unset("ZELMAR_PROD_DIR");
    env.unset("ZELMAR_SLIB_DIR");
    env.unset("ZELMAR_DATA_DIR");
}

}  // namespace zelmar::testing
