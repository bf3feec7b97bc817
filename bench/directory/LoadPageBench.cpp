// Reading a large directory page from its local copy: 10,000 outlines
// (about 2 MB) of containers, links and stations, as a big genre page of the
// directory server looks. Reports the time of one LoadPage and the memory
// each record keeps afterwards.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <memory>
#include <string>

#include "CStationDirectory.h"
#include "OpmlPage.h"
#include "TestSupport.h"
#include "platform.h"

namespace {

constexpr int kGroups = 1000;  // each: a container of 7 entries, a hidden companion, 2 entries
constexpr WCHAR kCopy[] = u"\\page.xml";

std::string Station(int n) {
    const std::string id = std::to_string(n);
    return "<outline type=\"audio\" text=\"Station number " + id + " - the sound of the city\" "
           "url=\"http://directory.example.org/tune?id=s" + id + "&amp;format=mp3,aac&amp;partner=radio\" "
           "image=\"http://images.example.org/logos/s" + id + "q.png\" bitrate=\"" + std::to_string(32 + n % 96) +
           "\" current_track=\"Artist " + id + " - Title of the song playing now\" now_playing_id=\"s" + id +
           "\" preset_id=\"s" + id + "\" qto_id=\"s" + id + "\"/>\n";
}

std::string Link(int n) {
    const std::string id = std::to_string(n);
    return "<outline type=\"link\" text=\"More stations of genre " + id + "\" "
           "URL=\"http://directory.example.org/browse?id=g" + id + "&amp;filter=s&amp;lon=#LON#&amp;lat=#LAT#\"/>\n";
}

// 10 outlines per group, in the body and inside its container.
std::string LargePage() {
    std::string page = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<opml version=\"1\"><head><title>All "
                       "stations</title></head><body>\n";
    int n = 0;
    for (int group = 0; group < kGroups; ++group) {
        page += "<outline text=\"Section " + std::to_string(group) + "\">\n";
        for (int i = 0; i < 6; ++i)
            page += i % 3 == 2 ? Link(n++) : Station(n++);
        page += "<hiddenoutline type=\"link\" text=\"Anywhere\" url=\"http://directory.example.org/browse?id=any\"/>\n";
        page += "</outline>\n" + Station(n);
        page += Link(n + 1);
        n += 2;
    }
    return page + "</body></opml>\n";
}

size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

void LoadPageFromLocalCopy(benchmark::State& state) {
    orvi::test::TempDeviceRoot root;
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const std::string page = LargePage();
    HANDLE file = CreateFileW(kCopy, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, page.data(), static_cast<DWORD>(page.size()), &written, nullptr);
    CloseHandle(file);

    double records = 0;
    double bytesPerRecord = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto directory = std::make_unique<CStationDirectory>();
        CRadioChannel* list = NewChannel(*directory);
        list->localFile = kCopy;
        const size_t before = HeapInUse();
        state.ResumeTiming();
        if (LoadPage(*directory, list, FALSE) != kLoadPageDone || list->children.IsEmpty())
            state.SkipWithError("the page did not load");
        state.PauseTiming();
        records = directory->Records().GetSize() - 1;
        bytesPerRecord = (static_cast<double>(HeapInUse()) - static_cast<double>(before)) / records;
        directory.reset();
        state.ResumeTiming();
    }
    state.counters["records"] = records;
    state.counters["bytes_per_record"] = bytesPerRecord;
    state.counters["page_bytes"] = static_cast<double>(page.size());
    CoUninitialize();
}

BENCHMARK(LoadPageFromLocalCopy)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
