#include "bridge/host_channel.h"

#include <algorithm>
#include <cstring>

#include "app/app_globals.h"
#include "bridge/bridge_state.h"
#include "bridge/call_api.h"

UINT attachMessage = 0;
UINT discoverMessage = 0;

namespace {

void BroadcastDiscovery(HWND sender) {
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(HWND_BROADCAST, discoverMessage, reinterpret_cast<WPARAM>(sender),
                            /*lParam=*/0, SMTO_ABORTIFHUNG, call_api::kDiscoveryTimeoutMs,
                            &result) == 0) {
        // Not retried and not reported: the call application announces itself when it starts.
        (void)GetLastError();
    }
}

}  // namespace

int DiscoverHostApi() {
    attachMessage = RegisterWindowMessageW(call_api::kAttachMessageName);
    discoverMessage = RegisterWindowMessageW(call_api::kDiscoverMessageName);
    if (attachMessage == 0 || discoverMessage == 0)
        return 0;
    BroadcastDiscovery(mainWindow);
    return 1;
}

void OnAttachMessage(HWND window, WPARAM wParam, LPARAM lParam) {
    if (lParam == call_api::kAttachSuccess) {
        RecordApiWindow(reinterpret_cast<HWND>(wParam));
    } else if (lParam == call_api::kAttachDiscoverAgain) {
        if (attachMessage != 0 && discoverMessage != 0)
            BroadcastDiscovery(window);
    }
}

void SendHostCommand(const char* text, HWND sender) {
    if (text == nullptr || text[0] == '\0')
        return;
    const HWND target = ApiWindow();
    if (target == nullptr)
        return;
    COPYDATASTRUCT data{};
    data.dwData = 0;
    data.cbData = static_cast<DWORD>(std::strlen(text) + 1);
    data.lpData = const_cast<char*>(text);
    SendMessageW(target, WM_COPYDATA, reinterpret_cast<WPARAM>(sender),
                 reinterpret_cast<LPARAM>(&data));
}

void ComposeCommand(CommandBuffer& buffer, std::initializer_list<std::string_view> parts) {
    std::size_t used = 0;
    for (std::string_view part : parts) {
        const std::size_t room = buffer.size() - 1 - used;
        const std::size_t length = std::min(part.size(), room);
        std::memcpy(buffer.data() + used, part.data(), length);
        used += length;
    }
    buffer[used] = '\0';
}

void ReadNotificationText(const COPYDATASTRUCT* data, WCHAR (&text)[kNotificationBufferSize]) {
    text[0] = L'\0';
    if (data == nullptr || data->lpData == nullptr || data->cbData == 0)
        return;
    const std::size_t limit = std::min<std::size_t>(data->cbData, kNotificationBufferSize - 1);
    const char* source = static_cast<const char*>(data->lpData);
    const void* nul = std::memchr(source, '\0', limit);
    const std::size_t length =
        nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - source) : limit;
    if (length == 0)
        return;
    const int converted = MultiByteToWideChar(CP_THREAD_ACP, 0, source, static_cast<int>(length),
                                              text, static_cast<int>(kNotificationBufferSize - 1));
    text[converted > 0 ? converted : 0] = L'\0';
}
