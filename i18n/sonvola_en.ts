<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>sonvola</name>
    <message>
        <source>演奏速度「%1」: 4 から 60000000 までの整数を入れてください（例: 120 _tempo）。</source>
        <translation>Tempo "%1": enter a whole number from 4 to 60000000 (for example 120 _tempo).</translation>
    </message>
    <message>
        <source>最短音価「%1」: 正の数を入れてください（例: 128 _分音符）。</source>
        <translation>Shortest note "%1": enter a positive number (for example 128 _分音符).</translation>
    </message>
    <message>
        <source>ファイル名が空です。ファイルを開くで録音を選んでください。</source>
        <translation>The file name is empty. Choose a recording with Open file.</translation>
    </message>
    <message>
        <source>フレームシフト間隔「%1」: 1 以上のミリ秒数を入れてください（例: 10 _msec）。</source>
        <translation>Frame shift "%1": enter a number of milliseconds of at least 1 (for example 10 _msec).</translation>
    </message>
    <message>
        <source>フレーム長「%1」: 2 以上の整数を入れてください（例: 512 _点）。</source>
        <translation>Frame length "%1": enter a whole number of at least 2 (for example 512 _点).</translation>
    </message>
    <message>
        <source>0づめしたフレーム長「%1」: フレーム長以上で、4 から 1048576 までの 2 のべき乗を入れてください（例: 4096 _点）。</source>
        <translation>Zero-padded length "%1": enter a power of two from 4 to 1048576, not less than the frame length (for example 4096 _点).</translation>
    </message>
    <message>
        <source>窓関数「%1」: ブラックマン窓・ハニング窓・ハミング窓・方形窓・三角窓・なし のどれかを入れてください。</source>
        <translation>Window "%1": enter one of ブラックマン窓 (Blackman), ハニング窓 (Hanning), ハミング窓 (Hamming), 方形窓 (rectangular), 三角窓 (triangular) or なし (none).</translation>
    </message>
    <message>
        <source>拍子「%1」: 「3 / 4」のように、1 から 255 までの分子と 2 のべき乗の分母を入れてください。</source>
        <translation>Time signature "%1": enter it as "3 / 4": a numerator from 1 to 255 and a power of two as the denominator.</translation>
    </message>
    <message>
        <source>GM音色番号「%1」: 1 から 128 までの整数を入れてください。</source>
        <translation>GM program "%1": enter a whole number from 1 to 128.</translation>
    </message>
    <message>
        <source>楽譜ファイル「%1」がありません。先に ③音高認識 を実行してください。</source>
        <translation>There is no score "%1". Run (3) Find the notes first.</translation>
    </message>
    <message>
        <source>解析するための Wave ファイル情報が見当たりません。</source>
        <translation>No WAV file is open for the analysis. Open a recording first.</translation>
    </message>
    <message>
        <source>SpecScan.txt がありません。先に ①音楽音解析 を実行してください。</source>
        <translation>There is no SpecScan.txt. Run (1) Analyse the sound first.</translation>
    </message>
    <message>
        <source>TrackJoin.txt がありません。先に ②クラスタリング を実行してください。</source>
        <translation>There is no TrackJoin.txt. Run (2) Link the peaks first.</translation>
    </message>
    <message>
        <source>err: デバイスが MIDI を参照しているため変換できません．</source>
        <translation>err: the MIDI file is open for playback, so it cannot be written. Select WAVE first.</translation>
    </message>
    <message>
        <source>何らかの原因で関数が正常に実行できませんでした。</source>
        <translation>The program could not be started.</translation>
    </message>
    <message>
        <source>ファイル名がありません。ファイルを開くで選んでください。</source>
        <translation>There is no file name. Choose a file with Open file.</translation>
    </message>
    <message>
        <source>「%1」をWAV ファイル（リニア PCM 8/16 ビット）として開けません。</source>
        <translation>"%1" cannot be opened as a WAV file (linear PCM, 8 or 16 bits).</translation>
    </message>
    <message>
        <source>「%1」をMIDI ファイルとして開けません。</source>
        <translation>"%1" cannot be opened as a MIDI file.</translation>
    </message>
    <message>
        <source>音声の出力先が見つかりません。再生は音なしで進みます。</source>
        <translation>No audio output was found. Playback runs silently.</translation>
    </message>
    <message>
        <source>ファイルを開けません。</source>
        <translation>The file cannot be opened.</translation>
    </message>
    <message>
        <source>RIFF WAVE ファイルではありません。</source>
        <translation>It is not a RIFF WAVE file.</translation>
    </message>
    <message>
        <source>再生できない形式です（リニア PCM 8/16 ビットのみ）。</source>
        <translation>Its format cannot be played (linear PCM of 8 or 16 bits only).</translation>
    </message>
    <message>
        <source>data チャンクがありません。</source>
        <translation>It has no data chunk.</translation>
    </message>
    <message>
        <source>MIDI ファイルではありません。</source>
        <translation>It is not a MIDI file.</translation>
    </message>
    <message>
        <source>GM 音色ファイル (sf2) が見つかりません。</source>
        <translation>No General MIDI sound font (sf2) was found.</translation>
    </message>
    <message>
        <source>音色ファイル「%1」を読めません。</source>
        <translation>The sound font "%1" cannot be read.</translation>
    </message>
    <message>
        <source>MIDI ファイルを読めません。</source>
        <translation>The MIDI file cannot be read.</translation>
    </message>
    <message>
        <source>指定されたデバイスは開かれていません。</source>
        <translation>The device is not open.</translation>
    </message>
    <message>
        <source>オープンエラー: %1
%2</source>
        <translation>Cannot open %1
%2</translation>
    </message>
    <message>
        <source>保存できません: %1
%2</source>
        <translation>Cannot save %1
%2</translation>
    </message>
    <message>
        <source>1. プロット（抽出したスペクトルピークを表示）</source>
        <translation>1. Plot (the spectral peaks found)</translation>
    </message>
    <message>
        <source>2. プロット（接続したスペクトルピークを表示）</source>
        <translation>2. Plot (the linked spectral peaks)</translation>
    </message>
    <message>
        <source>3. ピアノロール（認識した音符を表示） - %1</source>
        <translation>3. Piano roll (the notes found) - %1</translation>
    </message>
    <message>
        <source>ピークも表示 (SpecScan.txt)</source>
        <translation>Show the peaks too (SpecScan.txt)</translation>
    </message>
    <message>
        <source>楽譜を読めません: %1
%2</source>
        <translation>Cannot read the score %1
%2</translation>
    </message>
</context>
<context>
    <name>sonvola::ConsoleWindow</name>
    <message>
        <source>入力して RETURN</source>
        <translation>Type and press RETURN</translation>
    </message>
    <message>
        <source>

[終了しました: 終了コード %1]
</source>
        <translation>

[Finished: exit status %1]
</translation>
    </message>
    <message>
        <source>

[異常終了しました]
</source>
        <translation>

[Ended abnormally]
</translation>
    </message>
    <message>
        <source>[起動できませんでした: %1]
%2
</source>
        <translation>[Could not start: %1]
%2
</translation>
    </message>
    <message>
        <source>RETURN は自動で送られます</source>
        <translation>RETURN is sent automatically</translation>
    </message>
</context>
<context>
    <name>sonvola::MainDialog</name>
    <message>
        <source>①～④をまとめて実行</source>
        <translation>Run (1) to (4)</translation>
    </message>
    <message>
        <source>ファイルを開く</source>
        <translation>Open file</translation>
    </message>
    <message>
        <source>一時停止</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>再生</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>①音楽音解析</source>
        <translation>(1) Analyse the sound</translation>
    </message>
    <message>
        <source>①の結果をプロット</source>
        <translation>Plot the result of (1)</translation>
    </message>
    <message>
        <source>④1～3よりMIDIを生成</source>
        <translation>(4) MIDI from (1) to (3)</translation>
    </message>
    <message>
        <source>窓関数：</source>
        <translation>Window:</translation>
    </message>
    <message>
        <source>0づめしたフレーム長：</source>
        <translation>Zero-padded length:</translation>
    </message>
    <message>
        <source>フレーム長：</source>
        <translation>Frame length:</translation>
    </message>
    <message>
        <source>フレームシフト間隔：</source>
        <translation>Frame shift:</translation>
    </message>
    <message>
        <source>演奏速度：</source>
        <translation>Tempo:</translation>
    </message>
    <message>
        <source>最短音価：</source>
        <translation>Shortest note:</translation>
    </message>
    <message>
        <source>②クラスタリング</source>
        <translation>(2) Link the peaks</translation>
    </message>
    <message>
        <source>②の結果をプロット</source>
        <translation>Plot the result of (2)</translation>
    </message>
    <message>
        <source>③音高認識</source>
        <translation>(3) Find the notes</translation>
    </message>
    <message>
        <source>拍子：</source>
        <translation>Time signature:</translation>
    </message>
    <message>
        <source>ファイル名：</source>
        <translation>File name:</translation>
    </message>
    <message>
        <source>GM音色番号(1～128)：</source>
        <translation>GM program (1-128):</translation>
    </message>
    <message>
        <source>エラー</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>MIDIファイル(*.mid)</source>
        <translation>MIDI files (*.mid)</translation>
    </message>
    <message>
        <source>①～④の実行中です。終わってからもう一度どうぞ。</source>
        <translation>(1) to (4) are running. Try again when they have finished.</translation>
    </message>
    <message>
        <source>終了</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>アプリケーションを終了しますか？</source>
        <translation>Do you want to quit the application?</translation>
    </message>
    <message>
        <source>ピアノロールを表示</source>
        <translation>Show the piano roll</translation>
    </message>
    <message>
        <source>音声ファイル(*.wav *.flac *.mp3 *.m4a *.aac *.ogg *.oga *.opus *.aif *.aiff *.caf *.mp4 *.mkv *.webm *.mov);;すべてのファイル(*)</source>
        <translation>Audio files (*.wav *.flac *.mp3 *.m4a *.aac *.ogg *.oga *.opus *.aif *.aiff *.caf *.mp4 *.mkv *.webm *.mov);;All files (*)</translation>
    </message>
    <message>
        <source>「%1」を変換しています…</source>
        <translation>Converting "%1"...</translation>
    </message>
    <message>
        <source>「%1」を録音として読めません。</source>
        <translation>"%1" cannot be read as a recording.</translation>
    </message>
</context>
</TS>
