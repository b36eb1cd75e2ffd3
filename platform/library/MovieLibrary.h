#pragma once
// What the player remembers of each movie: how fast and at what quality it is played. Kept in a
// small SQLite database (library.db in the player's data folder), keyed by the movie's identity
// (its path, "LIST|ENTRY" for a list file's entry, or its web address), the same identity its
// saves and thumbnail use. Only settings that differ from the defaults are stored. A damaged
// database is moved aside (never deleted) and a new one started; a locked one, or one written by
// a newer player, is left alone and the player runs without it. Used from one thread.

#include <QList>
#include <QString>

#include <memory>
#include <optional>

namespace kz {

// The engine's quality names, lowest first; High is the engine's own default.
enum class MovieQuality { Low, Medium, High, Best };
inline constexpr MovieQuality kDefaultQuality = MovieQuality::High;

// The speeds the player offers, as multiples of the movie's own frame rate.
inline constexpr double kMovieSpeeds[] = {0.5, 1.0, 1.5, 2.0, 3.0};

struct MovieSettings {
    double speed = 1.0;
    MovieQuality quality = kDefaultQuality;

    bool IsDefault() const { return speed == 1.0 && quality == kDefaultQuality; }
    bool operator==(const MovieSettings &) const = default;
};

// "low", "medium", "high", "best".
QString QualityName(MovieQuality quality);
std::optional<MovieQuality> QualityFromName(const QString &name);
// True for one of kMovieSpeeds.
bool IsOfferedSpeed(double speed);

struct LibraryRow {
    QString identity;
    MovieSettings settings;
};

class MovieLibrary {
public:
    enum class State {
        Open,     // in use
        SetAside, // was damaged: moved to SetAsidePath(), a new one is in use
        Locked,   // another program holds it: not used this time, left as it is
        Newer,    // written by a newer player: not used, left as it is
        Unusable, // cannot be created (no folder, no driver): not used
    };

    // Opens the database at `path` (created when missing, its folder too).
    explicit MovieLibrary(const QString &path = DefaultPath());
    ~MovieLibrary();
    MovieLibrary(const MovieLibrary &) = delete;
    MovieLibrary &operator=(const MovieLibrary &) = delete;

    // UserDataDir() + "library.db".
    static QString DefaultPath();

    State GetState() const;
    bool IsOpen() const;
    QString Path() const;
    // Where a damaged database was moved; empty when none was.
    QString SetAsidePath() const;

    // The movie's settings; the defaults when none are stored, when a stored value is not one
    // the player offers, or when the database is not in use.
    MovieSettings Get(const QString &identity) const;
    // Stores the settings; default settings remove the movie's row. False when not stored.
    bool Set(const QString &identity, const MovieSettings &settings);
    // Removes the movie's row; true when there was one.
    bool Forget(const QString &identity);
    // Every stored movie, by identity.
    QList<LibraryRow> All() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace kz
