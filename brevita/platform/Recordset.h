#pragma once
// A query's rows through ODBC, on a connection of the query's own, fetched a
// block at a time as the cursor moves on: a list of any length takes the
// memory of one block. The count is asked for first, so it is known up
// front. Fields are found by name without regard to case.

#include "VoicemailDatabase.h"

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace brevita {

class Recordset : public RowCursor {
  public:
    using Row = std::vector<std::optional<std::string>>;
    // The connection and statement, shared with a fetch that outlives its
    // deadline.
    struct Query;

    // The first block fetched, within the deadline.
    explicit Recordset(std::shared_ptr<Query> query);
    ~Recordset() override;
    Recordset(Recordset &&) noexcept;

    // As RowCursor says; the column is the one whose name matches. Moving
    // on raises ErrDatabase, with the driver's words, when the next block
    // cannot be fetched in time.
    int32_t Count() const override;
    bool AtEnd() const override { return block_.empty(); }
    void MoveNext() override;
    std::optional<std::string> Field(Column column) const override;

  private:
    void FetchBlock();

    std::shared_ptr<Query> query_;
    std::deque<Row> block_; // the current row first
    bool fetchedAll_ = false;
};

// Runs sql on a connection of its own, within the deadline, and gives its
// first rows; raises ErrDatabase with the driver's SQLSTATE and text.
Recordset OpenQuery(const std::string &connection, const std::string &sql);

} // namespace brevita
