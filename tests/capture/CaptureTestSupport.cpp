#include "CaptureTestSupport.h"

#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class TemporarySettings : public ::testing::Environment {
public:
    void SetUp() override
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir->path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir->path());
    }
    void TearDown() override { m_dir.reset(); }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

[[maybe_unused]] const auto* const temporarySettings = ::testing::AddGlobalTestEnvironment(new TemporarySettings);

} // namespace

void clearCaptureSettings()
{
    QSettings(QStringLiteral("Talvex"), QStringLiteral("Talvex")).clear();
}
