<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ko_KR">
<context>
    <name>CMainFrame</name>
    <message>
        <source>Tapewell</source>
        <translation>Tapewell</translation>
    </message>
</context>
<context>
    <name>GuiJobPrompt</name>
    <message>
        <source>%1 

 File exist. Resumable?</source>
        <translation>%1 

 파일이 있습니다. 이어서 받으시겠습니까?</translation>
    </message>
    <message>
        <source>Save As</source>
        <translation>다른 이름으로 저장</translation>
    </message>
    <message>
        <source>All Files (*)</source>
        <translation>모든 파일 (*)</translation>
    </message>
    <message>
        <source>%1 - %2</source>
        <translation>%1 - %2</translation>
    </message>
</context>
<context>
    <name>InstanceChannel</name>
    <message>
        <source>cannot create the folder %1: %2</source>
        <translation>폴더 %1을(를) 만들 수 없습니다: %2</translation>
    </message>
    <message>
        <source>cannot read the folder %1: %2</source>
        <translation>폴더 %1을(를) 읽을 수 없습니다: %2</translation>
    </message>
    <message>
        <source>%1 is not a folder (a link or a file is in its place)</source>
        <translation>%1은(는) 폴더가 아닙니다 (그 자리에 링크나 파일이 있습니다)</translation>
    </message>
    <message>
        <source>the folder %1 belongs to another user</source>
        <translation>폴더 %1은(는) 다른 사용자의 것입니다</translation>
    </message>
    <message>
        <source>cannot make the folder %1 private: %2</source>
        <translation>폴더 %1을(를) 나만 쓰도록 바꿀 수 없습니다: %2</translation>
    </message>
    <message>
        <source>1 second</source>
        <translation>1초</translation>
    </message>
    <message>
        <source>%1 seconds</source>
        <translation>%1초</translation>
    </message>
    <message>
        <source>%1 ms</source>
        <translation>%1밀리초</translation>
    </message>
    <message>
        <source>cannot make a socket: %1</source>
        <translation>소켓을 만들 수 없습니다: %1</translation>
    </message>
    <message>
        <source>cannot connect to the running Tapewell at %1: %2</source>
        <translation>실행 중인 Tapewell(%1)에 연결할 수 없습니다: %2</translation>
    </message>
    <message>
        <source>the running Tapewell did not answer at %1 within %2</source>
        <translation>실행 중인 Tapewell(%1)이(가) %2 안에 응답하지 않았습니다</translation>
    </message>
    <message>
        <source>no answer from the running Tapewell within %1</source>
        <translation>실행 중인 Tapewell이(가) %1 안에 응답하지 않았습니다</translation>
    </message>
    <message>
        <source>the running Tapewell closed the connection without taking the item</source>
        <translation>실행 중인 Tapewell이(가) 항목을 받지 않고 연결을 끊었습니다</translation>
    </message>
    <message>
        <source>the running Tapewell gave an unknown answer</source>
        <translation>실행 중인 Tapewell이(가) 알 수 없는 응답을 보냈습니다</translation>
    </message>
    <message>
        <source>there is no folder for the lock</source>
        <translation>잠금 파일을 둘 폴더가 없습니다</translation>
    </message>
    <message>
        <source>cannot make the lock file %1</source>
        <translation>잠금 파일 %1을(를) 만들 수 없습니다</translation>
    </message>
    <message>
        <source>the item text is longer than %1 bytes</source>
        <translation>항목 텍스트가 %1바이트보다 깁니다</translation>
    </message>
    <message>
        <source>the socket path &quot;%1&quot; is empty or too long</source>
        <translation>소켓 경로 &quot;%1&quot;이(가) 비어 있거나 너무 깁니다</translation>
    </message>
</context>
<context>
    <name>PlayerLayout</name>
    <message>
        <source>Half size : %1x%2</source>
        <translation>절반 크기 : %1x%2</translation>
    </message>
    <message>
        <source>Double size : %1x%2</source>
        <translation>두배 크기 : %1x%2</translation>
    </message>
    <message>
        <source>Normal size : %1x%2</source>
        <translation>한배 크기 : %1x%2</translation>
    </message>
    <message>
        <source>Keep screen ratio</source>
        <translation>화면 비율 유지</translation>
    </message>
    <message>
        <source>Don&apos;t keep screen ratio</source>
        <translation>화면 비율 유지 안함</translation>
    </message>
</context>
<context>
    <name>RecordListPane</name>
    <message>
        <source>Tapewell</source>
        <translation>Tapewell</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::AsfManagerDialog</name>
    <message>
        <source>ASF Manager v0.1b</source>
        <translation>ASF Manager v0.1b</translation>
    </message>
    <message>
        <source>Cut</source>
        <translation>잘라내기</translation>
    </message>
    <message>
        <source>Save Image</source>
        <translation>이미지 저장</translation>
    </message>
    <message>
        <source>File Info</source>
        <translation>파일 정보</translation>
    </message>
    <message>
        <source>Open...</source>
        <translation>열기...</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>재생</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>일시 정지</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>정지</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>닫기</translation>
    </message>
    <message>
        <source>Size:%1, Time:%2</source>
        <translation>용량:%1, 시간:%2</translation>
    </message>
    <message>
        <source>Size:%1, Time:%2, Video size:%3x%4</source>
        <translation>용량:%1, 시간:%2, 비디오크기:%3x%4</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>열기</translation>
    </message>
    <message>
        <source>Video files (*.asf *.wmv);;All files (*)</source>
        <translation>동영상 파일 (*.asf *.wmv);;모든 파일 (*)</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::CMainFrame</name>
    <message>
        <source>Tapewell</source>
        <translation>Tapewell</translation>
    </message>
    <message>
        <source>The saved record list could not be read (%1). It was kept as %2 and an empty list is used.</source>
        <translation>저장된 녹화 목록을 읽을 수 없습니다 (%1). 파일은 %2(으)로 보관하고 빈 목록으로 시작합니다.</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>종료</translation>
    </message>
    <message>
        <source>On Top</source>
        <translation>항상 위</translation>
    </message>
    <message>
        <source>Protect Screen Save</source>
        <translation>화면 보호기 끄기</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>파일(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>보기(&amp;V)</translation>
    </message>
    <message>
        <source>The list file %1 could not be opened: %2</source>
        <translation>목록 파일 %1을(를) 열 수 없습니다: %2</translation>
    </message>
    <message>
        <source>The saved record list is damaged (%1). The rows it holds whole are shown; a copy of the file was kept as %2.</source>
        <translation>저장된 녹화 목록이 손상되었습니다 (%1). 온전한 항목만 표시합니다. 파일의 사본은 %2(으)로 보관했습니다.</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>편집(&amp;E)</translation>
    </message>
    <message>
        <source>&amp;Control</source>
        <translation>제어(&amp;C)</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>볼륨</translation>
    </message>
    <message>
        <source>&amp;Tools</source>
        <translation>도구(&amp;T)</translation>
    </message>
    <message>
        <source>ASF Manager</source>
        <translation>ASF 관리자</translation>
    </message>
    <message>
        <source>The list file %1 is damaged: %2. The rows it holds whole were added.</source>
        <translation>목록 파일 %1이(가) 손상되었습니다: %2. 온전한 항목만 추가했습니다.</translation>
    </message>
    <message>
        <source>The settings could not be saved: %1</source>
        <translation>설정을 저장하지 못했습니다: %1</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::CaptionFontDialog</name>
    <message>
        <source>Bold</source>
        <translation>굵게</translation>
    </message>
    <message>
        <source>Colour...</source>
        <translation>색...</translation>
    </message>
    <message>
        <source>Caption preview</source>
        <translation>자막 미리 보기</translation>
    </message>
    <message>
        <source>Caption Font</source>
        <translation>자막 글꼴</translation>
    </message>
    <message>
        <source>Font</source>
        <translation>글꼴</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>크기</translation>
    </message>
    <message>
        <source>Colour</source>
        <translation>색</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::CaptureController</name>
    <message>
        <source>The network devices could not be listed: %1</source>
        <translation>네트워크 장치 목록을 읽지 못했습니다: %1</translation>
    </message>
    <message>
        <source>No network device is up and running, so there is nothing to capture on.</source>
        <translation>동작 중인 네트워크 장치가 없어 캡처할 수 없습니다.</translation>
    </message>
    <message>
        <source>The packet capture helper is not installed (%1).
Install the tapewell package, or run cmake --install for a build.</source>
        <translation>패킷 캡처 도우미가 설치되어 있지 않습니다 (%1).
tapewell 패키지를 설치하거나, 빌드한 경우 cmake --install을 실행하세요.</translation>
    </message>
    <message>
        <source>Unable to open the driver &apos;%1&apos;: %2</source>
        <translation>드라이버 &apos;%1&apos;을(를) 열 수 없습니다: %2</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::CapturePage</name>
    <message>
        <source>Capture Start</source>
        <translation>캡처 시작</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>정지</translation>
    </message>
    <message>
        <source>Capture</source>
        <translation>캡처</translation>
    </message>
    <message>
        <source>Delete All</source>
        <translation>모두 삭제</translation>
    </message>
    <message>
        <source>Browse...</source>
        <translation>찾아보기...</translation>
    </message>
    <message>
        <source>Folder:</source>
        <translation>폴더:</translation>
    </message>
    <message>
        <source>Base name:</source>
        <translation>기본 이름:</translation>
    </message>
    <message>
        <source>Interval (seconds):</source>
        <translation>간격(초):</translation>
    </message>
    <message>
        <source>Pictures per interval:</source>
        <translation>간격당 장수:</translation>
    </message>
    <message>
        <source>Preview only</source>
        <translation>미리 보기만</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>폴더</translation>
    </message>
    <message>
        <source>%1 files will be deleted.

Delete them?</source>
        <translation>총 %1개의 파일이 삭제됩니다.

삭제 하시겟습니까?</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::CaptureSetupDialog</name>
    <message>
        <source>Save</source>
        <translation>저장</translation>
    </message>
    <message>
        <source>Insert</source>
        <translation>추가</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>삭제</translation>
    </message>
    <message>
        <source>HTTP</source>
        <translation>HTTP</translation>
    </message>
    <message>
        <source>MMS</source>
        <translation>MMS</translation>
    </message>
    <message>
        <source>RTSP</source>
        <translation>RTSP</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>확인</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>취소</translation>
    </message>
    <message>
        <source>Select Adapter</source>
        <translation>어댑터 선택</translation>
    </message>
    <message>
        <source>File Type</source>
        <translation>파일 형식</translation>
    </message>
    <message>
        <source>Insert the filetype you wish to capture url.</source>
        <translation>URL을 잡을 파일 형식을 추가하세요.</translation>
    </message>
    <message>
        <source>Type the ending of the file names to capture, such as .wmv.</source>
        <translation>잡을 파일 이름의 끝 부분을 .wmv 처럼 입력하세요.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a file type: it may hold no blanks and no &quot;/&quot;.</source>
        <translation>&quot;%1&quot;은(는) 파일 형식이 아닙니다: 공백이나 &quot;/&quot;를 넣을 수 없습니다.</translation>
    </message>
    <message>
        <source>The capture settings could not be saved: %1</source>
        <translation>캡처 설정을 저장하지 못했습니다: %1</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::CredentialsDialog</name>
    <message>
        <source>save?(&amp;S)</source>
        <translation>저장?(&amp;S)</translation>
    </message>
    <message>
        <source>Username and Password Required</source>
        <translation>사용자 이름과 암호가 필요합니다</translation>
    </message>
    <message>
        <source>Site :</source>
        <translation>사이트 :</translation>
    </message>
    <message>
        <source>Region :</source>
        <translation>영역 :</translation>
    </message>
    <message>
        <source>Username( &amp;U) :</source>
        <translation>사용자 이름( &amp;U) :</translation>
    </message>
    <message>
        <source>Password( &amp;P) :</source>
        <translation>암호( &amp;P) :</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>확인</translation>
    </message>
    <message>
        <source>Enter username for Member( Case sensitive )</source>
        <translation>회원 사용자 이름을 입력하십시오( 대소문자 구분 )</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::CutPage</name>
    <message>
        <source>Browse...</source>
        <translation>찾아보기...</translation>
    </message>
    <message>
        <source>Output:</source>
        <translation>저장 파일:</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>시작</translation>
    </message>
    <message>
        <source>End</source>
        <translation>끝</translation>
    </message>
    <message>
        <source>Jump</source>
        <translation>이동</translation>
    </message>
    <message>
        <source>Repeat</source>
        <translation>반복</translation>
    </message>
    <message>
        <source>Length:</source>
        <translation>길이:</translation>
    </message>
    <message>
        <source>Cut</source>
        <translation>자르기</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>재생</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>삭제</translation>
    </message>
    <message>
        <source>Save As</source>
        <translation>다른 이름으로 저장</translation>
    </message>
    <message>
        <source>Video files (*.asf *.wmv);;All files (*)</source>
        <translation>동영상 파일 (*.asf *.wmv);;모든 파일 (*)</translation>
    </message>
    <message>
        <source>The cut was not written:
%1</source>
        <translation>잘라낸 파일을 만들지 못했습니다:
%1</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::FileExistsDialog</name>
    <message>
        <source>Ok</source>
        <translation>확인</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>취소</translation>
    </message>
    <message>
        <source>Save As ...</source>
        <translation>다른 이름으로 저장 ...</translation>
    </message>
    <message>
        <source>Pass</source>
        <translation>건너뛰기</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>그만두기</translation>
    </message>
    <message>
        <source>All</source>
        <translation>모두</translation>
    </message>
    <message>
        <source>%1 

 File exist. Overwrite?</source>
        <translation>%1 

 파일이 있습니다. 덮어쓰시겠습니까?</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::FileInfoDialog</name>
    <message>
        <source>Info : %1</source>
        <translation>정보 : %1</translation>
    </message>
    <message>
        <source>Info</source>
        <translation>정보</translation>
    </message>
    <message>
        <source>File Info</source>
        <translation>파일 정보</translation>
    </message>
    <message>
        <source>Title :</source>
        <translation>제목 :</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>확인</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>취소</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::FileNameDialog</name>
    <message>
        <source>Append</source>
        <translation>앞에 붙이기</translation>
    </message>
    <message>
        <source>Modify File Name</source>
        <translation>파일 이름 수정</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::FindReplaceDialog</name>
    <message>
        <source>All list</source>
        <translation>전체 목록</translation>
    </message>
    <message>
        <source>Modify</source>
        <translation>수정</translation>
    </message>
    <message>
        <source>Replace</source>
        <translation>바꾸기</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>취소</translation>
    </message>
    <message>
        <source>Find What :</source>
        <translation>찾을 내용 :</translation>
    </message>
    <message>
        <source>Replace with :</source>
        <translation>바꿀 내용 :</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::GeneralPage</name>
    <message>
        <source>Allow miltiple instances</source>
        <translation>여러 개 실행 허용</translation>
    </message>
    <message>
        <source>Save Play list.</source>
        <translation>재생 목록 저장</translation>
    </message>
    <message>
        <source>Save Position( big Screen mode )</source>
        <translation>위치 저장 (큰 화면 모드)</translation>
    </message>
    <message>
        <source>ToolTip</source>
        <translation>도구 설명</translation>
    </message>
    <message>
        <source>&amp;Delete recent files</source>
        <translation>최근 파일 삭제(&amp;D)</translation>
    </message>
    <message>
        <source>Are you sure you want to delete all recent file(url) list?</source>
        <translation>최근 파일(URL) 목록을 모두 삭제하시겠습니까?</translation>
    </message>
    <message>
        <source>The recent file list could not be deleted:
%1</source>
        <translation>최근 파일 목록을 삭제하지 못했습니다:
%1</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::GuiListPrompt</name>
    <message>
        <source>Are you sure you want to delete this item ?</source>
        <translation>이 항목을 삭제하시겠습니까?</translation>
    </message>
    <message>
        <source>Are you sure you want to save ID and Password?</source>
        <translation>아이디와 비밀번호를 저장하시겠습니까?</translation>
    </message>
    <message>
        <source>%1 

 File exist. Overwrite?</source>
        <translation>%1 

 파일이 있습니다. 덮어쓰시겠습니까?</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::InfoPage</name>
    <message>
        <source>Title:</source>
        <translation>제목:</translation>
    </message>
    <message>
        <source>Author:</source>
        <translation>작성자:</translation>
    </message>
    <message>
        <source>Copyright:</source>
        <translation>저작권:</translation>
    </message>
    <message>
        <source>Description:</source>
        <translation>설명:</translation>
    </message>
    <message>
        <source>Size - Time:</source>
        <translation>용량 - 시간:</translation>
    </message>
    <message>
        <source>Bitrate:</source>
        <translation>비트레이트:</translation>
    </message>
    <message>
        <source>Video size:</source>
        <translation>비디오 크기:</translation>
    </message>
    <message>
        <source>Audio:</source>
        <translation>오디오:</translation>
    </message>
    <message>
        <source>Video codec:</source>
        <translation>비디오 코덱:</translation>
    </message>
    <message>
        <source>Audio codec:</source>
        <translation>오디오 코덱:</translation>
    </message>
    <message>
        <source>File:</source>
        <translation>파일:</translation>
    </message>
    <message>
        <source>%1Kbps</source>
        <translation>%1Kbps</translation>
    </message>
    <message>
        <source>%1 kHz %2bit %3</source>
        <translation>%1 kHz %2bit %3</translation>
    </message>
    <message>
        <source>Stereo</source>
        <translation>스테레오</translation>
    </message>
    <message>
        <source>Mono</source>
        <translation>모노</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::InstanceServer</name>
    <message>
        <source>there is no folder for the socket</source>
        <translation>소켓을 둘 폴더가 없습니다</translation>
    </message>
    <message>
        <source>cannot listen on %1: %2</source>
        <translation>%1에서 연결을 기다릴 수 없습니다: %2</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::ListCommands</name>
    <message>
        <source>New</source>
        <translation>새로 만들기</translation>
    </message>
    <message>
        <source>&amp;Open...</source>
        <translation>열기(&amp;O)...</translation>
    </message>
    <message>
        <source>Open As(&amp;A)...</source>
        <translation>추가로 열기(&amp;A)...</translation>
    </message>
    <message>
        <source>&amp;URL Open...</source>
        <translation>URL 열기(&amp;U)...</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>삭제</translation>
    </message>
    <message>
        <source>Delete All</source>
        <translation>모두 삭제</translation>
    </message>
    <message>
        <source>Modify URL </source>
        <translation>URL 수정 </translation>
    </message>
    <message>
        <source>Modify File Name...</source>
        <translation>파일 이름 수정...</translation>
    </message>
    <message>
        <source>Set Authentication...</source>
        <translation>인증 설정...</translation>
    </message>
    <message>
        <source>Info</source>
        <translation>정보</translation>
    </message>
    <message>
        <source>Move UP</source>
        <translation>위로 이동</translation>
    </message>
    <message>
        <source>Move Down</source>
        <translation>아래로 이동</translation>
    </message>
    <message>
        <source>Copy ClipBoard(&amp;C)</source>
        <translation>클립보드로 복사(&amp;C)</translation>
    </message>
    <message>
        <source>Only URL...</source>
        <translation>URL만...</translation>
    </message>
    <message>
        <source>Only File...</source>
        <translation>파일만...</translation>
    </message>
    <message>
        <source>All...</source>
        <translation>전체...</translation>
    </message>
    <message>
        <source>IBH Save</source>
        <translation>IBH 저장</translation>
    </message>
    <message>
        <source>ASX Save(&amp;S)</source>
        <translation>ASX 저장(&amp;S)</translation>
    </message>
    <message>
        <source>ASX Save As(&amp;A)...</source>
        <translation>ASX 다른 이름으로 저장(&amp;A)...</translation>
    </message>
    <message>
        <source>Minimize</source>
        <translation>최소화</translation>
    </message>
    <message>
        <source>Cut...</source>
        <comment>ASF Manager</comment>
        <translation>잘라내기...</translation>
    </message>
    <message>
        <source>Save Images...</source>
        <comment>ASF Manager</comment>
        <translation>이미지 저장...</translation>
    </message>
    <message>
        <source>File Information...</source>
        <comment>ASF Manager</comment>
        <translation>파일 정보...</translation>
    </message>
    <message>
        <source>Preferences(&amp;P)...</source>
        <translation>환경 설정(&amp;P)...</translation>
    </message>
    <message>
        <source>Url Capture</source>
        <translation>URL 캡처</translation>
    </message>
    <message>
        <source>Media files (*.asx *.asf *.wax *.wma *.mpg *.mpeg *.mp3 *.avi *.wmv *.ibh *.urh);;All files (*)</source>
        <translation>미디어 파일 (*.asx *.asf *.wax *.wma *.mpg *.mpeg *.mp3 *.avi *.wmv *.ibh *.urh *.rm *.ram *.mov);;모든 파일 (*)</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>열기</translation>
    </message>
    <message>
        <source>Open As</source>
        <translation>추가로 열기</translation>
    </message>
    <message numerus="yes">
        <source>%n address(es) were left unchanged: another row already has the address the replacement would give.</source>
        <translation>
            <numerusform>주소 %n개는 바꾸지 않았습니다: 바꾼 주소를 이미 다른 항목이 가지고 있습니다.</numerusform>
        </translation>
    </message>
    <message>
        <source>Set user</source>
        <translation>사용자 설정</translation>
    </message>
    <message>
        <source>The login for %1 could not be kept: %2</source>
        <translation>%1의 로그인 정보를 저장하지 못했습니다: %2</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::ListFileCommands</name>
    <message>
        <source>IBH Save</source>
        <translation>IBH 저장</translation>
    </message>
    <message>
        <source>IBH Files (*.ibh)</source>
        <translation>IBH 파일 (*.ibh)</translation>
    </message>
    <message>
        <source>The list could not be saved to %1:
%2</source>
        <translation>목록을 %1에 저장하지 못했습니다:
%2</translation>
    </message>
    <message>
        <source>ASX Save As</source>
        <translation>ASX 다른 이름으로 저장</translation>
    </message>
    <message>
        <source>asx Files (*.asx)</source>
        <translation>asx 파일 (*.asx)</translation>
    </message>
    <message>
        <source>The playlist could not be saved to %1:
%2</source>
        <translation>재생 목록을 %1에 저장하지 못했습니다:
%2</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::ListToolBar</name>
    <message>
        <source>Position</source>
        <translation>위치</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>볼륨</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::PlanCommands</name>
    <message>
        <source>The schedules could not be saved: %1</source>
        <translation>예약을 저장하지 못했습니다: %1</translation>
    </message>
    <message>
        <source>Scheduled %s</source>
        <translation>예약됨 %s</translation>
    </message>
    <message>
        <source>Missed %s</source>
        <translation>놓침 %s</translation>
    </message>
    <message>
        <source>The schedules could not be read (%1). The file is left as it is, and no schedule is kept until it is moved away.</source>
        <translation>예약 파일을 읽지 못했습니다 (%1). 파일은 그대로 두었으며, 그 파일을 옮기기 전까지는 예약이 저장되지 않습니다.</translation>
    </message>
    <message>
        <source>The schedules could not be read (%1). The file was kept as %2 and no recording is scheduled.</source>
        <translation>예약 파일을 읽지 못했습니다 (%1). 파일은 %2(으)로 보관했고 예약된 녹화는 없습니다.</translation>
    </message>
    <message>
        <source>Stop Recording</source>
        <translation>선택한 녹화 중지</translation>
    </message>
    <message>
        <source>Schedule...</source>
        <translation>예약 녹화...</translation>
    </message>
    <message>
        <source>Streams...</source>
        <translation>스트림 선택...</translation>
    </message>
    <message numerus="yes">
        <source>%n selected row(s)</source>
        <translation>
            <numerusform>선택한 행 %n개</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>tapewell::gui::PlayPage</name>
    <message>
        <source>Windows Media File(.asf, .asx, .wmx )</source>
        <translation>Windows Media File(.asf, .asx, .wmx )</translation>
    </message>
    <message>
        <source>Windows Media Audio File( .wma, .wax )</source>
        <translation>Windows Media Audio File( .wma, .wax )</translation>
    </message>
    <message>
        <source>Windows Media Audio/Video File(.wmv,wvx)</source>
        <translation>Windows Media Audio/Video File(.wmv,wvx)</translation>
    </message>
    <message>
        <source>TV File( *.IBH )</source>
        <translation>TV File( *.IBH )</translation>
    </message>
    <message>
        <source>Video File( avi )</source>
        <translation>Video File( avi )</translation>
    </message>
    <message>
        <source>Movie File( mpg, mpeg )</source>
        <translation>Movie File( mpg, mpeg )</translation>
    </message>
    <message>
        <source>The playlists .asx, .wax, .wvx and .wmx are one file type, so ticking one of the first three boxes registers all of them and the other two show as partly ticked.</source>
        <translation>재생 목록 .asx, .wax, .wvx, .wmx는 하나의 파일 형식이므로, 처음 세 상자 중 하나를 선택하면 모두 등록되고 나머지 두 상자는 일부 선택으로 표시됩니다.</translation>
    </message>
    <message>
        <source>Could not register file types: %1</source>
        <translation>파일 형식을 등록하지 못했습니다: %1</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::PlaybackCommands</name>
    <message>
        <source>Play</source>
        <translation>재생</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>일시 정지</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>정지</translation>
    </message>
    <message>
        <source>Up</source>
        <comment>volume</comment>
        <translation>크게</translation>
    </message>
    <message>
        <source>Down</source>
        <comment>volume</comment>
        <translation>작게</translation>
    </message>
    <message>
        <source>Mute</source>
        <translation>음소거</translation>
    </message>
    <message>
        <source>Repeat</source>
        <translation>반복</translation>
    </message>
    <message>
        <source>Big Screen Mode</source>
        <translation>큰 화면 모드</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>준비</translation>
    </message>
    <message>
        <source>Tapewell</source>
        <translation>Tapewell</translation>
    </message>
    <message>
        <source>error</source>
        <translation>오류</translation>
    </message>
    <message>
        <source>Buffering</source>
        <translation>버퍼링</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::PlayerView</name>
    <message>
        <source>Tapewell</source>
        <translation>Tapewell</translation>
    </message>
    <message>
        <source>Play/Pause</source>
        <translation>재생/일시 정지</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>정지</translation>
    </message>
    <message>
        <source>Back 30 sec</source>
        <translation>30초 뒤로</translation>
    </message>
    <message>
        <source>Forward 30 sec</source>
        <translation>30초 앞으로</translation>
    </message>
    <message>
        <source>Back 1 min</source>
        <translation>1분 뒤로</translation>
    </message>
    <message>
        <source>Forward 1 min</source>
        <translation>1분 앞으로</translation>
    </message>
    <message>
        <source>Half Size</source>
        <translation>절반 크기</translation>
    </message>
    <message>
        <source>Normal Size</source>
        <translation>한배 크기</translation>
    </message>
    <message>
        <source>Double Size</source>
        <translation>두배 크기</translation>
    </message>
    <message>
        <source>Full Size</source>
        <translation>전체 화면</translation>
    </message>
    <message>
        <source>Keep Screen Size</source>
        <translation>화면 크기 유지</translation>
    </message>
    <message>
        <source>Keep Ratio</source>
        <translation>화면 비율 유지</translation>
    </message>
    <message>
        <source>Slow Speed</source>
        <translation>느리게</translation>
    </message>
    <message>
        <source>Normal Speed</source>
        <translation>보통 속도</translation>
    </message>
    <message>
        <source>Fast Speed</source>
        <translation>빠르게</translation>
    </message>
    <message>
        <source>Hide Caption</source>
        <translation>자막 숨기기</translation>
    </message>
    <message>
        <source>Font Bigger</source>
        <translation>글꼴 크게</translation>
    </message>
    <message>
        <source>Font Smaller</source>
        <translation>글꼴 작게</translation>
    </message>
    <message>
        <source>Font Bold</source>
        <translation>글꼴 굵게</translation>
    </message>
    <message>
        <source>Setting Font...</source>
        <translation>글꼴 설정...</translation>
    </message>
    <message>
        <source>Large Caption Window</source>
        <translation>자막 창 크게</translation>
    </message>
    <message>
        <source>Small Caption Window</source>
        <translation>자막 창 작게</translation>
    </message>
    <message>
        <source>Copy Picture</source>
        <translation>그림 복사</translation>
    </message>
    <message>
        <source>Hide</source>
        <translation>숨기기</translation>
    </message>
    <message>
        <source>&amp;Player</source>
        <translation>재생(&amp;P)</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::PreferencesDialog</name>
    <message>
        <source>Setup</source>
        <translation>설정</translation>
    </message>
    <message>
        <source>Record</source>
        <translation>녹화</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>재생</translation>
    </message>
    <message>
        <source>The player agent list could not be saved:
%1</source>
        <translation>플레이어 에이전트 목록을 저장하지 못했습니다:
%1</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::RecordCommands</name>
    <message>
        <source>Connecting</source>
        <comment>record status</comment>
        <translation>Connecting</translation>
    </message>
    <message>
        <source>Received Head</source>
        <comment>record status</comment>
        <translation>Received Head</translation>
    </message>
    <message>
        <source>Completed</source>
        <comment>record status</comment>
        <translation>완료</translation>
    </message>
    <message>
        <source>Cancelled</source>
        <comment>record status</comment>
        <translation>취소</translation>
    </message>
    <message>
        <source>Error</source>
        <comment>record status</comment>
        <translation>Error</translation>
    </message>
    <message>
        <source>Checking</source>
        <comment>record status</comment>
        <translation>Checking</translation>
    </message>
    <message>
        <source>Ok</source>
        <comment>record status</comment>
        <translation>Ok</translation>
    </message>
    <message>
        <source>Record Start</source>
        <translation>녹화 시작</translation>
    </message>
    <message>
        <source>Record Stop</source>
        <translation>녹화 중지</translation>
    </message>
    <message>
        <source>Start</source>
        <comment>URL Check</comment>
        <translation>시작</translation>
    </message>
    <message>
        <source>Stop</source>
        <comment>URL Check</comment>
        <translation>중지</translation>
    </message>
    <message>
        <source>URL Check</source>
        <translation>URL 검사</translation>
    </message>
    <message>
        <source>Reconnecting (%d)</source>
        <translation>재연결 중 (%d)</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::RecordListModel</name>
    <message>
        <source>File,Type,Time,Play,Record,Size,Original File,Recording File,Info,ns</source>
        <translation>파일,종류,시간,재생,녹화,용량,주소,녹화된 파일, 정보,NS</translation>
    </message>
    <message>
        <source>File registration info : %1

 %2 - 
%3</source>
        <translation>파일등록 정보 : %1

 %2 - 
%3</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::RecordPage</name>
    <message>
        <source>Browser...</source>
        <translation>찾아보기...</translation>
    </message>
    <message>
        <source>Overwrite confirmation</source>
        <translation>덮어쓰기 확인</translation>
    </message>
    <message>
        <source>Resumable confirmation</source>
        <translation>이어받기 확인</translation>
    </message>
    <message>
        <source>Save time info, if live content.</source>
        <translation>생방송이면 시간 정보 저장</translation>
    </message>
    <message>
        <source>Max Size</source>
        <translation>최대 크기</translation>
    </message>
    <message>
        <source>MB</source>
        <translation>MB</translation>
    </message>
    <message>
        <source>Max Time</source>
        <translation>최대 시간</translation>
    </message>
    <message>
        <source>M</source>
        <translation>분</translation>
    </message>
    <message>
        <source>S</source>
        <translation>초</translation>
    </message>
    <message>
        <source>Default Path :</source>
        <translation>기본 경로 :</translation>
    </message>
    <message>
        <source>Player agent :</source>
        <translation>플레이어 에이전트 :</translation>
    </message>
    <message>
        <source>File Folder</source>
        <translation>파일 폴더</translation>
    </message>
    <message>
        <source>How often a live recording that breaks off connects again into the same file; 0 ends it at the first break.</source>
        <translation>끊어진 생방송 녹화를 같은 파일에 다시 연결하는 횟수입니다. 0이면 처음 끊어질 때 녹화를 끝냅니다.</translation>
    </message>
    <message>
        <source>How many rows of the list record at the same time.</source>
        <translation>목록에서 동시에 녹화할 행의 수입니다.</translation>
    </message>
    <message>
        <source>Reconnect Tries :</source>
        <translation>재연결 시도 횟수 :</translation>
    </message>
    <message>
        <source>Concurrent Recordings :</source>
        <translation>동시 녹화 수 :</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::ScheduleDialog</name>
    <message>
        <source>OK</source>
        <translation>확인</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>취소</translation>
    </message>
    <message>
        <source>Schedule</source>
        <translation>예약 녹화</translation>
    </message>
    <message>
        <source>Once</source>
        <translation>한 번</translation>
    </message>
    <message>
        <source>Daily</source>
        <translation>매일</translation>
    </message>
    <message>
        <source>Weekly</source>
        <translation>매주</translation>
    </message>
    <message>
        <source>Start :</source>
        <translation>시작 :</translation>
    </message>
    <message>
        <source>Duration :</source>
        <translation>길이 :</translation>
    </message>
    <message>
        <source>Repeat :</source>
        <translation>반복 :</translation>
    </message>
    <message>
        <source>A duration of 00:00 records until the stream ends or a limit of the preferences stops it.</source>
        <translation>길이가 00:00이면 스트림이 끝나거나 설정의 제한에 걸릴 때까지 녹화합니다.</translation>
    </message>
    <message>
        <source>Remove Schedule</source>
        <translation>예약 삭제</translation>
    </message>
    <message>
        <source>The start %1 has passed. Choose a later time.</source>
        <translation>시작 시각 %1은(는) 이미 지났습니다. 더 늦은 시각을 고르십시오.</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::ScreenSaverInhibitor</name>
    <message>
        <source>Playing or recording media</source>
        <translation>미디어 재생 또는 녹화 중</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::StreamsDialog</name>
    <message>
        <source>Streams</source>
        <translation>스트림 선택</translation>
    </message>
    <message>
        <source>All streams</source>
        <translation>모든 스트림</translation>
    </message>
    <message>
        <source>Audio only</source>
        <translation>오디오만</translation>
    </message>
    <message>
        <source>Video only</source>
        <translation>비디오만</translation>
    </message>
    <message>
        <source>Best video and audio</source>
        <translation>최고 화질 비디오와 오디오</translation>
    </message>
    <message>
        <source>Stream numbers:</source>
        <translation>스트림 번호:</translation>
    </message>
    <message>
        <source>for example 1,2</source>
        <translation>예: 1,2</translation>
    </message>
    <message>
        <source>Streams to record of %1:</source>
        <translation>%1에서 녹화할 스트림:</translation>
    </message>
    <message>
        <source>Type the numbers of the streams to record, such as 1,2.</source>
        <translation>녹화할 스트림의 번호를 1,2처럼 입력하십시오.</translation>
    </message>
    <message>
        <source>These streams cannot be chosen: %1.</source>
        <translation>이 스트림은 선택할 수 없습니다: %1.</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::UrlModifyDialog</name>
    <message>
        <source>URL Modify</source>
        <translation>URL 수정</translation>
    </message>
</context>
<context>
    <name>tapewell::gui::UrlOpenDialog</name>
    <message>
        <source>Play</source>
        <translation>재생</translation>
    </message>
    <message>
        <source>Record</source>
        <translation>녹화</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>미리보기</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>취소</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>확인</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>열기</translation>
    </message>
    <message>
        <source>Start URL :</source>
        <translation>시작 URL :</translation>
    </message>
    <message>
        <source>End URL:</source>
        <translation>끝 URL:</translation>
    </message>
    <message>
        <source>Input File name or Url</source>
        <translation>파일 이름 또는 URL 입력</translation>
    </message>
    <message>
        <source>The addresses cannot be listed: %1</source>
        <translation>주소 목록을 만들 수 없습니다: %1</translation>
    </message>
    <message>
        <source>Line %1 of the list is longer than %2 bytes and cannot be an address.</source>
        <translation>목록의 %1번째 줄이 %2바이트보다 길어서 주소로 쓸 수 없습니다.</translation>
    </message>
    <message>
        <source>The recent addresses could not be saved: %1</source>
        <translation>최근 주소를 저장하지 못했습니다: %1</translation>
    </message>
</context>
</TS>
