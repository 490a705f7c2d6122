<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>ArchiveChoice</name>
    <message>
        <source>There is no downloaded log to add to the archive yet.</source>
        <translation>There is no downloaded log to add to the archive yet.</translation>
    </message>
    <message>
        <source>Not added to the archive: %1</source>
        <translation>Not added to the archive: %1</translation>
    </message>
    <message>
        <source>Added to the archive %1 as %2: %3 new records, %4 already there.</source>
        <translation>Added to the archive %1 as %2: %3 new records, %4 already there.</translation>
    </message>
    <message>
        <source>%1 %2 records had another value there; the archived values were kept.</source>
        <translation>%1 %2 records had another value there; the archived values were kept.</translation>
    </message>
</context>
<context>
    <name>ChartData</name>
    <message>
        <source>over range (1E+37)</source>
        <translation>over range (1E+37)</translation>
    </message>
    <message>
        <source>over range, negative (-1E+37)</source>
        <translation>over range, negative (-1E+37)</translation>
    </message>
    <message>
        <source>negative underflow (-1E-37)</source>
        <translation>negative underflow (-1E-37)</translation>
    </message>
</context>
<context>
    <name>ChartPicture</name>
    <message>
        <source>%1 d</source>
        <translation>%1 d</translation>
    </message>
    <message>
        <source>%1 h</source>
        <translation>%1 h</translation>
    </message>
    <message>
        <source>%1 min</source>
        <translation>%1 min</translation>
    </message>
    <message>
        <source>0 = lowest, 1 = highest</source>
        <translation>0 = lowest, 1 = highest</translation>
    </message>
    <message>
        <source>over range</source>
        <translation>over range</translation>
    </message>
    <message>
        <source>time steps back</source>
        <translation>time steps back</translation>
    </message>
    <message>
        <source>No channel shown: click a caption above</source>
        <translation>No channel shown: click a caption above</translation>
    </message>
    <message>
        <source>missing</source>
        <translation>missing</translation>
    </message>
    <message>
        <source> then </source>
        <translation> then </translation>
    </message>
    <message>
        <source>the image could not be made</source>
        <translation>the image could not be made</translation>
    </message>
    <message>
        <source>say .png, .svg or .pdf</source>
        <translation>say .png, .svg or .pdf</translation>
    </message>
    <message>
        <source>say .png or .pdf</source>
        <translation>say .png or .pdf</translation>
    </message>
    <message>
        <source>Log chart</source>
        <translation>Log chart</translation>
    </message>
    <message>
        <source>File / meter: %1</source>
        <translation>File / meter: %1</translation>
    </message>
    <message>
        <source>(the last download)</source>
        <translation>(the last download)</translation>
    </message>
    <message>
        <source>Range: %1 – %2</source>
        <translation>Range: %1 – %2</translation>
    </message>
    <message>
        <source>Channel</source>
        <translation>Channel</translation>
    </message>
    <message>
        <source>Lowest</source>
        <translation>Lowest</translation>
    </message>
    <message>
        <source>Highest</source>
        <translation>Highest</translation>
    </message>
    <message>
        <source>Mean</source>
        <translation>Mean</translation>
    </message>
    <message>
        <source>Over range</source>
        <translation>Over range</translation>
    </message>
    <message>
        <source>–</source>
        <translation>–</translation>
    </message>
</context>
<context>
    <name>Duration</name>
    <message>
        <source>%1 s</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 min %2 s</source>
        <translation>%1 min %2 s</translation>
    </message>
    <message>
        <source>%1 h %2 min</source>
        <translation>%1 h %2 min</translation>
    </message>
</context>
<context>
    <name>LogTable</name>
    <message>
        <source>not a log the tool wrote (its first line is not &quot;%1,...&quot;)</source>
        <translation>not a log the tool wrote (its first line is not &quot;%1,...&quot;)</translation>
    </message>
    <message>
        <source>the log holds no records</source>
        <translation>the log holds no records</translation>
    </message>
</context>
<context>
    <name>Settings</name>
    <message>
        <source>the folder %1 takes no new files</source>
        <translation>the folder %1 takes no new files</translation>
    </message>
    <message>
        <source>%1 is read-only</source>
        <translation>%1 is read-only</translation>
    </message>
    <message>
        <source>Settings will not be saved: %1; the defaults are in use.</source>
        <translation>Settings will not be saved: %1; the defaults are in use.</translation>
    </message>
</context>
<context>
    <name>tavrel::ChartWindow</name>
    <message>
        <source>Chart</source>
        <translation>Chart</translation>
    </message>
    <message>
        <source>Lanes by unit</source>
        <translation>Lanes by unit</translation>
    </message>
    <message>
        <source>Overlay</source>
        <translation>Overlay</translation>
    </message>
    <message>
        <source>Normalised</source>
        <translation>Normalised</translation>
    </message>
    <message>
        <source>Lock y</source>
        <translation>Lock y</translation>
    </message>
    <message>
        <source>Zoom box</source>
        <translation>Zoom box</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>Save image…</source>
        <translation>Save image…</translation>
    </message>
    <message>
        <source>Export shown range…</source>
        <translation>Export shown range…</translation>
    </message>
    <message>
        <source>Print…</source>
        <translation>Print…</translation>
    </message>
    <message>
        <source>Shown range</source>
        <translation>Shown range</translation>
    </message>
    <message>
        <source>Lowest</source>
        <translation>Lowest</translation>
    </message>
    <message>
        <source>Highest</source>
        <translation>Highest</translation>
    </message>
    <message>
        <source>Mean</source>
        <translation>Mean</translation>
    </message>
    <message>
        <source>Over range</source>
        <translation>Over range</translation>
    </message>
    <message>
        <source>Wheel or + -: zoom   Drag or arrows: pan   Shift+drag: zoom box   Home: whole log   Click: pin a cursor   Caption: show or hide   Right button: lanes, export</source>
        <translation>Wheel or + -: zoom   Drag or arrows: pan   Shift+drag: zoom box   Home: whole log   Click: pin a cursor   Caption: show or hide   Right button: lanes, export</translation>
    </message>
    <message>
        <source>Chart: %1</source>
        <translation>Chart: %1</translation>
    </message>
    <message>
        <source>The chart&apos;s choices are not remembered (%1: %2)</source>
        <translation>The chart&apos;s choices are not remembered (%1: %2)</translation>
    </message>
    <message>
        <source>PNG image (*.png);;PDF (*.pdf);;SVG image (*.svg)</source>
        <translation>PNG image (*.png);;PDF (*.pdf);;SVG image (*.svg)</translation>
    </message>
    <message>
        <source>PNG image (*.png);;PDF (*.pdf)</source>
        <translation>PNG image (*.png);;PDF (*.pdf)</translation>
    </message>
    <message>
        <source>Save image</source>
        <translation>Save image</translation>
    </message>
    <message>
        <source>CSV (*.csv)</source>
        <translation>CSV (*.csv)</translation>
    </message>
    <message>
        <source>Export shown range</source>
        <translation>Export shown range</translation>
    </message>
    <message>
        <source>Print</source>
        <translation>Print</translation>
    </message>
    <message>
        <source>The printer could not be started.</source>
        <translation>The printer could not be started.</translation>
    </message>
    <message>
        <source>PDF (*.pdf)</source>
        <translation>PDF (*.pdf)</translation>
    </message>
    <message>
        <source>Print to PDF</source>
        <translation>Print to PDF</translation>
    </message>
    <message>
        <source>no channel is shown</source>
        <translation>no channel is shown</translation>
    </message>
    <message>
        <source>no records in the range shown</source>
        <translation>no records in the range shown</translation>
    </message>
    <message>
        <source>Lane of its own</source>
        <translation>Lane of its own</translation>
    </message>
    <message>
        <source>Lane by its unit</source>
        <translation>Lane by its unit</translation>
    </message>
</context>
<context>
    <name>tavrel::DwnLoad1</name>
    <message>
        <source>Download FileName</source>
        <translation>Download FileName</translation>
    </message>
    <message>
        <source>Archive</source>
        <translation>Archive</translation>
    </message>
    <message>
        <source>Archive (*.db);;All files (*)</source>
        <translation>Archive (*.db);;All files (*)</translation>
    </message>
    <message>
        <source>Meter name in the archive:</source>
        <translation>Meter name in the archive:</translation>
    </message>
    <message>
        <source>Another window of this tool, %1, is using the settings in this folder.

This window will save its settings and phone book to %2 when it closes, unless that window has closed by then.</source>
        <translation>Another window of this tool, %1, is using the settings in this folder.

This window will save its settings and phone book to %2 when it closes, unless that window has closed by then.</translation>
    </message>
    <message>
        <source>A download</source>
        <translation>A download</translation>
    </message>
    <message>
        <source>Dialing</source>
        <translation>Dialing</translation>
    </message>
    <message>
        <source>Hanging up</source>
        <translation>Hanging up</translation>
    </message>
    <message>
        <source>The front panel&apos;s poll</source>
        <translation>The front panel&apos;s poll</translation>
    </message>
    <message>
        <source>%1 in progress</source>
        <translation>%1 in progress</translation>
    </message>
    <message>
        <source>%1 of %2 bytes</source>
        <translation>%1 of %2 bytes</translation>
    </message>
    <message>
        <source>%1, about %2 left</source>
        <translation>%1, about %2 left</translation>
    </message>
    <message>
        <source>Line speed: %1 baud</source>
        <translation>Line speed: %1 baud</translation>
    </message>
    <message>
        <source>Open log</source>
        <translation>Open log</translation>
    </message>
    <message>
        <source>Logs (*.csv);;All files (*)</source>
        <translation>Logs (*.csv);;All files (*)</translation>
    </message>
    <message>
        <source>There are no downloaded records to chart yet.</source>
        <translation>There are no downloaded records to chart yet.</translation>
    </message>
    <message>
        <source>%1 (demo)</source>
        <translation>%1 (demo)</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>다운로드</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>다운로드 후 결과 보기</source>
        <translation>View results after download</translation>
    </message>
    <message>
        <source>환경설정</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>유량계</source>
        <translation>Flow meter</translation>
    </message>
    <message>
        <source>모뎀 통신</source>
        <translation>Modem communication</translation>
    </message>
    <message>
        <source>기록상황</source>
        <translation>Recording status</translation>
    </message>
    <message>
        <source>채널</source>
        <translation>Channels</translation>
    </message>
    <message>
        <source>화일명 지정</source>
        <translation>File name</translation>
    </message>
    <message>
        <source>통신속도</source>
        <translation>Communication speed</translation>
    </message>
    <message>
        <source>통신포트</source>
        <translation>Communication port</translation>
    </message>
    <message>
        <source>흐름제어</source>
        <translation>Flow control</translation>
    </message>
    <message>
        <source>기록된 레코드</source>
        <translation>Recorded records</translation>
    </message>
    <message>
        <source>데이터 레코드</source>
        <translation>Data records</translation>
    </message>
    <message>
        <source>채널 #%1</source>
        <translation>Channel #%1</translation>
    </message>
    <message>
        <source>데이터 수신할 화일명을 지정합니다</source>
        <translation>Specify the name of the file that receives the data</translation>
    </message>
    <message>
        <source>화일명 변경</source>
        <translation>Change file name</translation>
    </message>
    <message>
        <source>데이터 수신</source>
        <translation>Receive data</translation>
    </message>
    <message>
        <source>없음</source>
        <translation>None</translation>
    </message>
    <message>
        <source>하드웨어 (Cts/Rts)</source>
        <translation>Hardware (Cts/Rts)</translation>
    </message>
    <message>
        <source>Slave ID</source>
        <translation>Slave ID</translation>
    </message>
    <message>
        <source>전화걸기</source>
        <translation>Dial</translation>
    </message>
    <message>
        <source>전화끊기</source>
        <translation>Hang up</translation>
    </message>
    <message>
        <source>상황</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>정상</source>
        <translation>Normal</translation>
    </message>
    <message>
        <source>전화번호부</source>
        <translation>Phone book</translation>
    </message>
    <message>
        <source>Chart…</source>
        <translation>Chart…</translation>
    </message>
    <message>
        <source>Open log…</source>
        <translation>Open log…</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>Select all</source>
        <translation>Select all</translation>
    </message>
    <message>
        <source>Add to archive…</source>
        <translation>Add to archive…</translation>
    </message>
    <message>
        <source>Find the instrument…</source>
        <translation>Find the instrument…</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Language (언어)</translation>
    </message>
    <message>
        <source>As the system</source>
        <translation>As the system</translation>
    </message>
    <message>
        <source>%1 다운로드 프로그램 1.09K</source>
        <extracomment>The title bar: the maker&apos;s name, then &quot;download program&quot; and the version.</extracomment>
        <translation>%1 Download Program 1.09K</translation>
    </message>
    <message>
        <source>The language cannot be kept in this folder: it lasts until the window closes.</source>
        <translation>The language cannot be kept in this folder: it lasts until the window closes.</translation>
    </message>
</context>
<context>
    <name>tavrel::FilePlaces</name>
    <message>
        <source>The folder this program started in, %1, takes no files.

Its settings are kept in %2 and downloads go to %3.</source>
        <translation>The folder this program started in, %1, takes no files.

Its settings are kept in %2 and downloads go to %3.</translation>
    </message>
    <message>
        <source>cannot make the folder %1</source>
        <translation>cannot make the folder %1</translation>
    </message>
    <message>
        <source>cannot work in the folder %1</source>
        <translation>cannot work in the folder %1</translation>
    </message>
</context>
<context>
    <name>tavrel::FindDialog</name>
    <message>
        <source>Find the instrument</source>
        <translation>Find the instrument</translation>
    </message>
    <message>
        <source>Use</source>
        <translation>Use</translation>
    </message>
    <message>
        <source>Searching %1 port(s)…</source>
        <translation>Searching %1 port(s)…</translation>
    </message>
    <message>
        <source>Trying %1 at %2 baud, slave ID %3…</source>
        <translation>Trying %1 at %2 baud, slave ID %3…</translation>
    </message>
    <message>
        <source>Meter on %1: %2 baud, slave ID %3, %4 records (%5)</source>
        <translation>Meter on %1: %2 baud, slave ID %3, %4 records (%5)</translation>
    </message>
    <message>
        <source>Other Modbus device on %1: %2 baud, slave ID %3</source>
        <translation>Other Modbus device on %1: %2 baud, slave ID %3</translation>
    </message>
    <message>
        <source>No meter found.</source>
        <translation>No meter found.</translation>
    </message>
    <message>
        <source>Done: choose a meter and Use it.</source>
        <translation>Done: choose a meter and Use it.</translation>
    </message>
</context>
<context>
    <name>tavrel::LogChart</name>
    <message>
        <source>From the pinned cursor: </source>
        <translation>From the pinned cursor: </translation>
    </message>
</context>
</TS>
