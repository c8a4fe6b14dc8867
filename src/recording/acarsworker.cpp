#include "acarsworker.h"

AcarsWorker::AcarsWorker(IpcPlatform& platform)
    : m_platform(platform), m_objACARS(platform)
{
    m_objACARS.setEvents(this);
}

AcarsWorker::~AcarsWorker()
{
    m_objACARS.setEvents(nullptr);
}

// Nothing may escape a slot run by the thread's event loop: a failure becomes failed().
void AcarsWorker::start(int generation)
{
    if (m_closing)
        return;
    try {
        std::string strResult;
        const bool ok = m_objACARS.Start(strResult);
        emit started(generation, ok, QString::fromStdString(strResult),
                     ok ? QString::fromStdString(m_objACARS.Simulator_Description()) : QString());
        if (ok)
            tellDetails(generation, Moment::Start);
    } catch (const std::exception& error) {
        emit failed(generation, QString::fromLocal8Bit(error.what()));
    }
}

void AcarsWorker::refresh(int generation)
{
    if (m_closing)
        return;
    m_generation = generation;
    m_strLinkError.clear();
    try {
        m_objACARS.Refresh();
        emit refreshed(generation, m_objACARS.isLinkOpen(), m_strLinkError);
    } catch (const std::exception& error) {
        emit failed(generation, QString::fromLocal8Bit(error.what()));
    }
}

void AcarsWorker::stop()
{
    m_objACARS.Stop_();
    resume();
}

void AcarsWorker::resume()
{
    m_platform.clearCancel();
    // Closing's cancel stands, however the two cross.
    if (m_closing)
        m_platform.cancel();
}

void AcarsWorker::close()
{
    m_closing = true;
    m_platform.cancel();
}

void AcarsWorker::restore(const FlightPhases& phases)
{
    m_objACARS.Restore(phases);
}

void AcarsWorker::report(Event event, const std::string& text)
{
    emit trackerEvent(m_generation, event, QString::fromStdString(text));
    if (event == Event::FlightOUT)
        tellDetails(m_generation, Moment::Out);
    else if (event == Event::FlightIN)
        tellDetails(m_generation, Moment::In);
}

// Copied here, on the link's thread; the panel gets plain texts.
void AcarsWorker::tellDetails(int generation, Moment moment)
{
    const IpcPlatform::FlightDetails details = m_platform.flightDetails();
    const auto text = [](const std::string& value) { return QString::fromStdString(value); };
    const bool aircraft = moment != Moment::In;
    emit detailsTold(generation, aircraft ? text(details.aircraftType) : QString(),
                     aircraft ? text(details.aircraftId) : QString(),
                     moment == Moment::Out ? text(details.closestAirportId) : QString(),
                     moment == Moment::In ? text(details.closestAirportId) : QString());
}

// Both close the link; the first text of a step says why.
void AcarsWorker::FSClosed(const std::string& strError)
{
    if (m_strLinkError.isEmpty())
        m_strLinkError = QString::fromStdString(strError);
}

void AcarsWorker::Error(const std::string& strError)
{
    FSClosed(strError);
}
