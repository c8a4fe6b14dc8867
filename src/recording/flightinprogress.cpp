#include "flightinprogress.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

constexpr int kFormatVersion = 1;
const QString kVersionKey = QStringLiteral("version");
const QString kDateKey = QStringLiteral("date");
const QString kBoxesKey = QStringLiteral("boxes");
const QString kFuelOutKey = QStringLiteral("fuelOut");
const QString kFuelInKey = QStringLiteral("fuelIn");

// The texts that are always present, by key.
struct TextField {
    const char* key;
    QString FlightInProgress::*member;
};
const std::array<TextField, 7> kTextFields = {{
    {"timeOut", &FlightInProgress::timeOut},
    {"timeOff", &FlightInProgress::timeOff},
    {"timeOn", &FlightInProgress::timeOn},
    {"timeIn", &FlightInProgress::timeIn},
    {"flightTime", &FlightInProgress::flightTime},
    {"flightTimeHHMM", &FlightInProgress::flightTimeHHMM},
    {"fuelUsed", &FlightInProgress::fuelUsed},
}};

QString fileError(const QString& path, const QString& reason)
{
    return QStringLiteral("Cannot write file %1:\n%2.").arg(QDir::toNativeSeparators(path), reason);
}

} // namespace

// Beside the log: in the user's data folder, on Windows beside the program.
QString FlightInProgress::defaultPath()
{
#ifdef Q_OS_WIN
    const QString folder = QCoreApplication::applicationDirPath();
#else
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Quillon");
#endif
    QDir().mkpath(folder);
    return folder + QStringLiteral("/flight-in-progress.json");
}

FlightInProgress::Loaded FlightInProgress::load(const QString& path, FlightInProgress& flight, QString& errorText)
{
    QFile file(path);
    if (!file.exists())
        return Loaded::None;
    if (!file.open(QIODevice::ReadOnly)) {
        errorText = file.errorString();
        return Loaded::Damaged;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    const QJsonObject object = document.object();
    const QJsonArray boxes = object.value(kBoxesKey).toArray();
    if (parseError.error != QJsonParseError::NoError) {
        errorText = parseError.errorString();
        return Loaded::Damaged;
    }
    if (object.value(kVersionKey).toInt() != kFormatVersion || boxes.size() != int(flight.boxes.size())) {
        errorText = QStringLiteral("not a flight of this version of Quillon");
        return Loaded::Damaged;
    }
    FlightInProgress read;
    read.date = object.value(kDateKey).toString();
    for (std::size_t i = 0; i < read.boxes.size(); ++i)
        read.boxes[i] = boxes.at(int(i)).toString();
    for (const TextField& field : kTextFields)
        read.*field.member = object.value(QLatin1String(field.key)).toString();
    if (object.contains(kFuelOutKey))
        read.fuelOut = object.value(kFuelOutKey).toString();
    if (object.contains(kFuelInKey))
        read.fuelIn = object.value(kFuelInKey).toString();
    flight = read;
    return Loaded::Flight;
}

bool FlightInProgress::save(const QString& path, QString& errorText) const
{
    QJsonObject object{{kVersionKey, kFormatVersion}, {kDateKey, date}};
    QJsonArray boxTexts;
    for (const QString& box : boxes)
        boxTexts.append(box);
    object.insert(kBoxesKey, boxTexts);
    for (const TextField& field : kTextFields)
        object.insert(QLatin1String(field.key), this->*field.member);
    if (fuelOut)
        object.insert(kFuelOutKey, *fuelOut);
    if (fuelIn)
        object.insert(kFuelInKey, *fuelIn);

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(object).toJson()) < 0 || !file.commit()) {
        errorText = fileError(path, file.errorString());
        return false;
    }
    return true;
}

QString FlightInProgress::setAside(const QString& path)
{
    const QString aside =
        path + QStringLiteral(".damaged-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    return QFile::rename(path, aside) ? aside : QString();
}
