#pragma once

#include <QString>

#include <array>
#include <optional>

// The flight being recorded, as the ACARS panel holds it: the tracker's texts
// (times "hhmm", fuel in whole pounds, without the panel's suffixes), the date
// and the four boxes as the pilot typed them. It is kept in a small file
// beside the log, so that a crash, a kill or a close in the middle of a
// flight loses nothing; the file is replaced whole on every change.
struct FlightInProgress {
    QString date;
    std::array<QString, 4> boxes; // aircraft type, aircraft ID, origin, destination
    QString timeOut, timeOff, timeOn, timeIn;
    std::optional<QString> fuelOut, fuelIn; // nothing while not read
    QString flightTime, flightTimeHHMM, fuelUsed;

    bool hasPhase() const { return !timeOut.isEmpty() || !timeOff.isEmpty() || !timeOn.isEmpty() || !timeIn.isEmpty(); }
    bool isArrived() const { return !timeIn.isEmpty(); }
    friend bool operator==(const FlightInProgress&, const FlightInProgress&) = default;

    // The file beside the log: $XDG_DATA_HOME/Quillon/flight-in-progress.json.
    static QString defaultPath();

    enum class Loaded { None, Flight, Damaged };
    // Reads the file; Damaged with the reason in errorText when it cannot be understood.
    static Loaded load(const QString& path, FlightInProgress& flight, QString& errorText);
    // Replaces the file whole; false with the reason naming the file.
    bool save(const QString& path, QString& errorText) const;
    // Renames a damaged file out of the way; the new name, or empty when it could not be moved.
    static QString setAside(const QString& path);
};
