<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ko_KR">
<context>
    <name>ArchiveChoice</name>
    <message>
        <source>There is no downloaded log to add to the archive yet.</source>
        <translation>아카이브에 추가할 다운로드 기록이 아직 없습니다.</translation>
    </message>
    <message>
        <source>Not added to the archive: %1</source>
        <translation>아카이브에 추가하지 못했습니다: %1</translation>
    </message>
    <message>
        <source>Added to the archive %1 as %2: %3 new records, %4 already there.</source>
        <translation>아카이브 %1에 %2(으)로 추가했습니다: 새 레코드 %3개, 이미 있던 레코드 %4개.</translation>
    </message>
    <message>
        <source>%1 %2 records had another value there; the archived values were kept.</source>
        <translation>%1 레코드 %2개는 아카이브에 다른 값이 있어 아카이브의 값을 그대로 두었습니다.</translation>
    </message>
</context>
<context>
    <name>ChartData</name>
    <message>
        <source>over range (1E+37)</source>
        <translation>범위 초과 (1E+37)</translation>
    </message>
    <message>
        <source>over range, negative (-1E+37)</source>
        <translation>범위 초과, 음수 (-1E+37)</translation>
    </message>
    <message>
        <source>negative underflow (-1E-37)</source>
        <translation>음수 언더플로 (-1E-37)</translation>
    </message>
</context>
<context>
    <name>ChartPicture</name>
    <message>
        <source>%1 d</source>
        <translation>%1일</translation>
    </message>
    <message>
        <source>%1 h</source>
        <translation>%1시간</translation>
    </message>
    <message>
        <source>%1 min</source>
        <translation>%1분</translation>
    </message>
    <message>
        <source>0 = lowest, 1 = highest</source>
        <translation>0 = 최저, 1 = 최고</translation>
    </message>
    <message>
        <source>over range</source>
        <translation>범위 초과</translation>
    </message>
    <message>
        <source>time steps back</source>
        <translation>시간 역행</translation>
    </message>
    <message>
        <source>No channel shown: click a caption above</source>
        <translation>표시된 채널이 없습니다: 위의 채널 이름을 누르십시오</translation>
    </message>
    <message>
        <source>missing</source>
        <translation>없음</translation>
    </message>
    <message>
        <source> then </source>
        <translation> → </translation>
    </message>
    <message>
        <source>the image could not be made</source>
        <translation>이미지를 만들 수 없습니다</translation>
    </message>
    <message>
        <source>say .png, .svg or .pdf</source>
        <translation>.png, .svg 또는 .pdf로 지정하십시오</translation>
    </message>
    <message>
        <source>say .png or .pdf</source>
        <translation>.png 또는 .pdf로 지정하십시오</translation>
    </message>
    <message>
        <source>Log chart</source>
        <translation>기록 차트</translation>
    </message>
    <message>
        <source>File / meter: %1</source>
        <translation>파일 / 유량계: %1</translation>
    </message>
    <message>
        <source>(the last download)</source>
        <translation>(마지막 다운로드)</translation>
    </message>
    <message>
        <source>Range: %1 – %2</source>
        <translation>범위: %1 – %2</translation>
    </message>
    <message>
        <source>Channel</source>
        <translation>채널</translation>
    </message>
    <message>
        <source>Lowest</source>
        <translation>최저</translation>
    </message>
    <message>
        <source>Highest</source>
        <translation>최고</translation>
    </message>
    <message>
        <source>Mean</source>
        <translation>평균</translation>
    </message>
    <message>
        <source>Over range</source>
        <translation>범위 초과</translation>
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
        <translation>%1초</translation>
    </message>
    <message>
        <source>%1 min %2 s</source>
        <translation>%1분 %2초</translation>
    </message>
    <message>
        <source>%1 h %2 min</source>
        <translation>%1시간 %2분</translation>
    </message>
</context>
<context>
    <name>LogTable</name>
    <message>
        <source>not a log the tool wrote (its first line is not &quot;%1,...&quot;)</source>
        <translation>이 프로그램이 저장한 기록이 아닙니다 (첫 줄이 &quot;%1,...&quot;이 아닙니다)</translation>
    </message>
    <message>
        <source>the log holds no records</source>
        <translation>기록에 레코드가 없습니다</translation>
    </message>
</context>
<context>
    <name>Settings</name>
    <message>
        <source>the folder %1 takes no new files</source>
        <translation>폴더 %1에 새 파일을 만들 수 없습니다</translation>
    </message>
    <message>
        <source>%1 is read-only</source>
        <translation>%1은(는) 읽기 전용입니다</translation>
    </message>
    <message>
        <source>Settings will not be saved: %1; the defaults are in use.</source>
        <translation>설정이 저장되지 않습니다: %1. 기본 설정을 사용합니다.</translation>
    </message>
</context>
<context>
    <name>tavrel::ChartWindow</name>
    <message>
        <source>Chart</source>
        <translation>차트</translation>
    </message>
    <message>
        <source>Lanes by unit</source>
        <translation>단위별 구역</translation>
    </message>
    <message>
        <source>Overlay</source>
        <translation>겹쳐 보기</translation>
    </message>
    <message>
        <source>Normalised</source>
        <translation>정규화</translation>
    </message>
    <message>
        <source>Lock y</source>
        <translation>Y축 고정</translation>
    </message>
    <message>
        <source>Zoom box</source>
        <translation>상자 확대</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>초기화</translation>
    </message>
    <message>
        <source>Save image…</source>
        <translation>이미지 저장…</translation>
    </message>
    <message>
        <source>Export shown range…</source>
        <translation>보이는 범위 내보내기…</translation>
    </message>
    <message>
        <source>Print…</source>
        <translation>인쇄…</translation>
    </message>
    <message>
        <source>Shown range</source>
        <translation>보이는 범위</translation>
    </message>
    <message>
        <source>Lowest</source>
        <translation>최저</translation>
    </message>
    <message>
        <source>Highest</source>
        <translation>최고</translation>
    </message>
    <message>
        <source>Mean</source>
        <translation>평균</translation>
    </message>
    <message>
        <source>Over range</source>
        <translation>범위 초과</translation>
    </message>
    <message>
        <source>Wheel or + -: zoom   Drag or arrows: pan   Shift+drag: zoom box   Home: whole log   Click: pin a cursor   Caption: show or hide   Right button: lanes, export</source>
        <translation>휠 또는 + -: 확대/축소   끌기 또는 화살표: 이동   Shift+끌기: 상자 확대   Home: 전체 기록   클릭: 커서 고정   채널 이름: 보이기/숨기기   오른쪽 버튼: 구역, 내보내기</translation>
    </message>
    <message>
        <source>Chart: %1</source>
        <translation>차트: %1</translation>
    </message>
    <message>
        <source>The chart&apos;s choices are not remembered (%1: %2)</source>
        <translation>차트 설정을 기억할 수 없습니다 (%1: %2)</translation>
    </message>
    <message>
        <source>PNG image (*.png);;PDF (*.pdf);;SVG image (*.svg)</source>
        <translation>PNG 이미지 (*.png);;PDF (*.pdf);;SVG 이미지 (*.svg)</translation>
    </message>
    <message>
        <source>PNG image (*.png);;PDF (*.pdf)</source>
        <translation>PNG 이미지 (*.png);;PDF (*.pdf)</translation>
    </message>
    <message>
        <source>Save image</source>
        <translation>이미지 저장</translation>
    </message>
    <message>
        <source>CSV (*.csv)</source>
        <translation>CSV (*.csv)</translation>
    </message>
    <message>
        <source>Export shown range</source>
        <translation>보이는 범위 내보내기</translation>
    </message>
    <message>
        <source>Print</source>
        <translation>인쇄</translation>
    </message>
    <message>
        <source>The printer could not be started.</source>
        <translation>프린터를 시작할 수 없습니다.</translation>
    </message>
    <message>
        <source>PDF (*.pdf)</source>
        <translation>PDF (*.pdf)</translation>
    </message>
    <message>
        <source>Print to PDF</source>
        <translation>PDF로 인쇄</translation>
    </message>
    <message>
        <source>no channel is shown</source>
        <translation>표시된 채널이 없습니다</translation>
    </message>
    <message>
        <source>no records in the range shown</source>
        <translation>보이는 범위에 레코드가 없습니다</translation>
    </message>
    <message>
        <source>Lane of its own</source>
        <translation>별도 구역</translation>
    </message>
    <message>
        <source>Lane by its unit</source>
        <translation>단위별 구역</translation>
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
        <translation>아카이브</translation>
    </message>
    <message>
        <source>Archive (*.db);;All files (*)</source>
        <translation>아카이브 (*.db);;모든 파일 (*)</translation>
    </message>
    <message>
        <source>Meter name in the archive:</source>
        <translation>아카이브에 넣을 유량계 이름:</translation>
    </message>
    <message>
        <source>Another window of this tool, %1, is using the settings in this folder.

This window will save its settings and phone book to %2 when it closes, unless that window has closed by then.</source>
        <translation>이 프로그램의 다른 창(%1)이 이 폴더의 설정을 사용하고 있습니다.

이 창은 닫힐 때, 그 창이 그때까지 닫히지 않았다면 설정과 전화번호부를 %2에 저장합니다.</translation>
    </message>
    <message>
        <source>A download</source>
        <translation>다운로드</translation>
    </message>
    <message>
        <source>Dialing</source>
        <translation>전화 걸기</translation>
    </message>
    <message>
        <source>Hanging up</source>
        <translation>전화 끊기</translation>
    </message>
    <message>
        <source>The front panel&apos;s poll</source>
        <translation>유량계 화면 읽기</translation>
    </message>
    <message>
        <source>%1 in progress</source>
        <translation>%1 진행 중</translation>
    </message>
    <message>
        <source>%1 of %2 bytes</source>
        <translation>%2바이트 중 %1바이트</translation>
    </message>
    <message>
        <source>%1, about %2 left</source>
        <translation>%1, 약 %2 남음</translation>
    </message>
    <message>
        <source>Line speed: %1 baud</source>
        <translation>회선 속도: %1 baud</translation>
    </message>
    <message>
        <source>Open log</source>
        <translation>기록 열기</translation>
    </message>
    <message>
        <source>Logs (*.csv);;All files (*)</source>
        <translation>기록 (*.csv);;모든 파일 (*)</translation>
    </message>
    <message>
        <source>There are no downloaded records to chart yet.</source>
        <translation>차트로 볼 다운로드 레코드가 아직 없습니다.</translation>
    </message>
    <message>
        <source>%1 (demo)</source>
        <translation>%1 (데모)</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>다운로드</source>
        <translation>다운로드</translation>
    </message>
    <message>
        <source>다운로드 후 결과 보기</source>
        <translation>다운로드 후 결과 보기</translation>
    </message>
    <message>
        <source>환경설정</source>
        <translation>환경설정</translation>
    </message>
    <message>
        <source>유량계</source>
        <translation>유량계</translation>
    </message>
    <message>
        <source>모뎀 통신</source>
        <translation>모뎀 통신</translation>
    </message>
    <message>
        <source>기록상황</source>
        <translation>기록상황</translation>
    </message>
    <message>
        <source>채널</source>
        <translation>채널</translation>
    </message>
    <message>
        <source>화일명 지정</source>
        <translation>화일명 지정</translation>
    </message>
    <message>
        <source>통신속도</source>
        <translation>통신속도</translation>
    </message>
    <message>
        <source>통신포트</source>
        <translation>통신포트</translation>
    </message>
    <message>
        <source>흐름제어</source>
        <translation>흐름제어</translation>
    </message>
    <message>
        <source>기록된 레코드</source>
        <translation>기록된 레코드</translation>
    </message>
    <message>
        <source>데이터 레코드</source>
        <translation>데이터 레코드</translation>
    </message>
    <message>
        <source>채널 #%1</source>
        <translation>채널 #%1</translation>
    </message>
    <message>
        <source>데이터 수신할 화일명을 지정합니다</source>
        <translation>데이터 수신할 화일명을 지정합니다</translation>
    </message>
    <message>
        <source>화일명 변경</source>
        <translation>화일명 변경</translation>
    </message>
    <message>
        <source>데이터 수신</source>
        <translation>데이터 수신</translation>
    </message>
    <message>
        <source>없음</source>
        <translation>없음</translation>
    </message>
    <message>
        <source>하드웨어 (Cts/Rts)</source>
        <translation>하드웨어 (Cts/Rts)</translation>
    </message>
    <message>
        <source>Slave ID</source>
        <translation>Slave ID</translation>
    </message>
    <message>
        <source>전화걸기</source>
        <translation>전화걸기</translation>
    </message>
    <message>
        <source>전화끊기</source>
        <translation>전화끊기</translation>
    </message>
    <message>
        <source>상황</source>
        <translation>상황</translation>
    </message>
    <message>
        <source>정상</source>
        <translation>정상</translation>
    </message>
    <message>
        <source>전화번호부</source>
        <translation>전화번호부</translation>
    </message>
    <message>
        <source>Chart…</source>
        <translation>차트…</translation>
    </message>
    <message>
        <source>Open log…</source>
        <translation>기록 열기…</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>복사</translation>
    </message>
    <message>
        <source>Select all</source>
        <translation>모두 선택</translation>
    </message>
    <message>
        <source>Add to archive…</source>
        <translation>아카이브에 추가…</translation>
    </message>
    <message>
        <source>Find the instrument…</source>
        <translation>유량계 찾기…</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>언어 (Language)</translation>
    </message>
    <message>
        <source>As the system</source>
        <translation>시스템 설정대로</translation>
    </message>
    <message>
        <source>%1 다운로드 프로그램 1.09K</source>
        <extracomment>The title bar: the maker&apos;s name, then &quot;download program&quot; and the version.</extracomment>
        <translation>%1 다운로드 프로그램 1.09K</translation>
    </message>
    <message>
        <source>The language cannot be kept in this folder: it lasts until the window closes.</source>
        <translation>이 폴더에 언어 선택을 저장할 수 없습니다: 창을 닫을 때까지만 적용됩니다.</translation>
    </message>
</context>
<context>
    <name>tavrel::FilePlaces</name>
    <message>
        <source>The folder this program started in, %1, takes no files.

Its settings are kept in %2 and downloads go to %3.</source>
        <translation>프로그램을 시작한 폴더 %1에 파일을 만들 수 없습니다.

설정은 %2에, 다운로드 파일은 %3에 저장합니다.</translation>
    </message>
    <message>
        <source>cannot make the folder %1</source>
        <translation>폴더 %1을(를) 만들 수 없습니다</translation>
    </message>
    <message>
        <source>cannot work in the folder %1</source>
        <translation>폴더 %1에서 작업할 수 없습니다</translation>
    </message>
</context>
<context>
    <name>tavrel::FindDialog</name>
    <message>
        <source>Find the instrument</source>
        <translation>유량계 찾기</translation>
    </message>
    <message>
        <source>Use</source>
        <translation>사용</translation>
    </message>
    <message>
        <source>Searching %1 port(s)…</source>
        <translation>포트 %1개 검색 중…</translation>
    </message>
    <message>
        <source>Trying %1 at %2 baud, slave ID %3…</source>
        <translation>%1, %2 baud, Slave ID %3 시도 중…</translation>
    </message>
    <message>
        <source>Meter on %1: %2 baud, slave ID %3, %4 records (%5)</source>
        <translation>%1의 유량계: %2 baud, Slave ID %3, 레코드 %4개 (%5)</translation>
    </message>
    <message>
        <source>Other Modbus device on %1: %2 baud, slave ID %3</source>
        <translation>%1의 다른 Modbus 장치: %2 baud, Slave ID %3</translation>
    </message>
    <message>
        <source>No meter found.</source>
        <translation>유량계를 찾지 못했습니다.</translation>
    </message>
    <message>
        <source>Done: choose a meter and Use it.</source>
        <translation>완료: 유량계를 고르고 사용을 누르십시오.</translation>
    </message>
</context>
<context>
    <name>tavrel::LogChart</name>
    <message>
        <source>From the pinned cursor: </source>
        <translation>고정한 커서부터: </translation>
    </message>
</context>
</TS>
