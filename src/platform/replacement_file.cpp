#include "platform/replacement_file.h"

#include "platform/file_error.h"

namespace quaverly::platform {

namespace {

class ReplacementFile final : public OutputFile {
public:
    explicit ReplacementFile(std::unique_ptr<ReplacementSteps> steps) : m_steps(std::move(steps)) {}
    ~ReplacementFile() override {
        if (!m_closed) {
            m_steps->Discard();
        }
    }
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    void Write(const char* data, std::size_t size) override { m_steps->Write(data, size); }

    void Close() override {
        if (m_closed) {
            return;
        }
        m_closed = true;
        try {
            m_steps->Sync();
            m_steps->Close();
            m_steps->Rename();
        } catch (const FileError&) {
            m_steps->Discard();
            throw;
        }
        // The new file stands in the old one's place now; what remains is to make that last.
        try {
            m_steps->SyncFolder();
        } catch (const FileError& error) {
            throw FileError(FileErrorCause::NotDurable, error.SystemError(), error.Operation(),
                            error.Path());
        }
    }

private:
    std::unique_ptr<ReplacementSteps> m_steps;
    bool m_closed = false;
};

} // namespace

std::unique_ptr<OutputFile> MakeReplacementFile(std::unique_ptr<ReplacementSteps> steps) {
    return std::make_unique<ReplacementFile>(std::move(steps));
}

} // namespace quaverly::platform
