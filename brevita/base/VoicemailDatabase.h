#pragma once
// The voicemail server's database as the runs see it: the lists of voice
// names and greetings, read a row at a time, and the two directory
// synchronisation requests. The program works on the server's own; tests
// put one in memory in its place. Every failure raises an AppError.

#include "AppError.h"
#include "Messages.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace brevita {

enum class Column { StreamPath, Alias, SubscriberObjectID, ParentAlias };

// The name the server gives the column.
inline const char *ColumnName(Column column) {
    static constexpr const char *names[] = {"StreamPath", "Alias", "SubscriberObjectID",
                                            "ParentAlias"};
    return names[static_cast<int>(column)];
}

// The rows of one list, first to last; the list is closed when the cursor
// goes.
class RowCursor {
  public:
    virtual ~RowCursor() = default;
    // The rows the list holds, known before the first is read.
    virtual int32_t Count() const = 0;
    // True once past the last row, at once for an empty list.
    virtual bool AtEnd() const = 0;
    // On to the next row; raises ErrDatabase when already past the last.
    virtual void MoveNext() = 0;
    // The current row's field; nothing for a database null. Raises
    // ErrDatabase past the last row or for a column the list does not have.
    virtual std::optional<std::string> Field(Column column) const = 0;
};

// The current row's field as text; raises 94 "Invalid use of Null" for a null.
inline std::string FieldText(const RowCursor &rows, Column column) {
    std::optional<std::string> value = rows.Field(column);
    if (!value) {
        RaiseError(ErrInvalidUseOfNull, QT_TRANSLATE_NOOP("Brevita", "Invalid use of Null"));
    }
    return *value;
}

class VoicemailDatabase {
  public:
    virtual ~VoicemailDatabase() = default;

    // How the database is reached, passwords masked: for the log.
    virtual std::string ConnectionText() const = 0;
    // The server it is on: for messages.
    virtual std::string ServerName() const = 0;
    // Connects once and says what answered; raises when nothing does.
    virtual std::string Describe() = 0;

    // Every subscriber with a voice name: StreamPath, Alias, SubscriberObjectID.
    virtual std::unique_ptr<RowCursor> VoiceNames() = 0;
    // Every greeting: StreamPath, Alias, ParentAlias (the alias of its owner,
    // subscriber or call handler).
    virtual std::unique_ptr<RowCursor> Greetings() = 0;

    // Asks the server to synchronise one subscriber (objectId: the text of
    // its GUID) with the directory; nothing is read back.
    virtual void RequestSubscriberSync(const std::string &objectId) = 0;
    // Asks for the same of every subscriber.
    virtual void RequestFullDirectorySync() = 0;

    // True when error, raised by this database, says that the server did
    // not answer in time (so that asking again now would only wait again).
    virtual bool IsTimeout(const AppError &error) const = 0;
};

} // namespace brevita
