#include "MemoryDatabase.h"

namespace brevita_test {

using namespace brevita;

namespace {

const char kRefused[] = "Unable to connect to the database: [08001] Connection refused";
const char kSilent[] = "The database did not answer within 3 seconds";

void Fail(MemoryDatabase::Failure failure) {
    if (failure == MemoryDatabase::Failure::Unreachable) {
        RaiseError(ErrDatabase, kRefused);
    }
    if (failure == MemoryDatabase::Failure::TimeOut) {
        RaiseError(ErrDatabase, kSilent);
    }
}

class MemoryCursor : public RowCursor {
  public:
    explicit MemoryCursor(std::vector<MemoryDatabase::Row> rows) : rows_(std::move(rows)) {}
    int32_t Count() const override { return static_cast<int32_t>(rows_.size()); }
    bool AtEnd() const override { return pos_ >= rows_.size(); }
    void MoveNext() override {
        if (AtEnd())
            RaiseError(ErrDatabase, "No current record");
        ++pos_;
    }
    std::optional<std::string> Field(Column column) const override {
        if (AtEnd())
            RaiseError(ErrDatabase, "No current record");
        const auto field = rows_[pos_].find(column);
        if (field == rows_[pos_].end())
            RaiseError(ErrDatabase, std::string("No field named ") + ColumnName(column));
        return field->second;
    }

  private:
    std::vector<MemoryDatabase::Row> rows_;
    size_t pos_ = 0;
};

} // namespace

void MemoryDatabase::AddVoiceName(Field streamPath, Field alias, Field objectId) {
    voiceNames_.push_back({{Column::StreamPath, std::move(streamPath)},
                           {Column::Alias, std::move(alias)},
                           {Column::SubscriberObjectID, std::move(objectId)}});
}

void MemoryDatabase::AddGreeting(Field streamPath, Field alias, Field parentAlias) {
    greetings_.push_back({{Column::StreamPath, std::move(streamPath)},
                          {Column::Alias, std::move(alias)},
                          {Column::ParentAlias, std::move(parentAlias)}});
}

std::string MemoryDatabase::Describe() {
    Fail(describeFails);
    return "memory";
}

std::unique_ptr<RowCursor> MemoryDatabase::VoiceNames() {
    Fail(listsFail);
    return std::make_unique<MemoryCursor>(voiceNames_);
}

std::unique_ptr<RowCursor> MemoryDatabase::Greetings() {
    Fail(listsFail);
    return std::make_unique<MemoryCursor>(greetings_);
}

void MemoryDatabase::Request(const std::string &request) {
    ++requestsTried;
    Fail(requestsFail);
    requests.push_back(request);
}

void MemoryDatabase::RequestSubscriberSync(const std::string &objectId) {
    Request("sp_ModifySubscriber " + objectId);
}

void MemoryDatabase::RequestFullDirectorySync() {
    Request("sp_SqlDirectorySync");
}

bool MemoryDatabase::IsTimeout(const AppError &error) const {
    return error.Number() == ErrDatabase && error.Description() == kSilent;
}

} // namespace brevita_test
