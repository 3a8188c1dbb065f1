#include "support/ScriptedSource.h"

ScriptedSource::ScriptedSource(std::shared_ptr<SourceScript> script, QString id, QString name)
    : m_script(std::move(script))
    , m_id(std::move(id))
    , m_name(std::move(name))
    , m_size(m_script->sizes.value(0, QSize(320, 240)))
{
}

bool ScriptedSource::open()
{
    ++m_script->opens;
    const bool was = m_open;
    m_open = m_script->present;
    if (m_open && !was)
        emit opened();
    return m_open;
}

QImage ScriptedSource::grabStill(QString* error)
{
    if (!m_script->present)
        m_open = false;
    if (!m_open || m_script->failingStills > 0) {
        if (m_script->failingStills > 0)
            --m_script->failingStills;
        if (error)
            *error = m_open ? QStringLiteral("scripted failure") : QStringLiteral("device gone");
        return {};
    }
    m_latest = makeFrame();
    return m_latest;
}

bool ScriptedSource::setFrameSize(const QSize& size)
{
    if (!m_script->sizes.contains(size))
        return false;
    m_size = size;
    return true;
}

bool ScriptedSource::setControl(quint32 id, int value)
{
    SourceControl* control = m_script->control(id);
    if (!control || m_script->refusedControls.contains(id))
        return false;
    m_script->controlValues[id] = value;
    control->value = value;
    if (m_script->afterSet)
        m_script->afterSet(*m_script, id, value);
    return true;
}

void ScriptedSource::pushFrame()
{
    m_latest = makeFrame();
    emit frameReady();
}

QImage ScriptedSource::makeFrame() const
{
    QImage frame(m_size, QImage::Format_BGR888);
    frame.fill(m_script->colour);
    frame.setPixelColor(0, 0, Qt::red);
    return frame;
}

ScriptedCatalog::ScriptedCatalog(QList<SourceChoice> choices)
    : m_choices(std::move(choices))
{
}

std::shared_ptr<SourceScript> ScriptedCatalog::script(const QString& id) const
{
    std::shared_ptr<SourceScript>& script = m_scripts[id];
    if (!script)
        script = std::make_shared<SourceScript>();
    return script;
}

std::unique_ptr<VideoSource> ScriptedCatalog::create(const QString& id) const
{
    if (id == TestPatternSource::sourceId())
        return std::make_unique<TestPatternSource>();
    for (const SourceChoice& choice : m_choices)
        if (choice.id == id)
            return std::make_unique<ScriptedSource>(script(id), choice.id,
                                                    choice.name);
    return nullptr;
}
