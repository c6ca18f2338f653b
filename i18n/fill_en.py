#!/usr/bin/env python3
"""Fills the English texts of i18n/sonvola_en.ts from the table below.

After `lupdate` has added new source texts, add their English here and run
    python3 i18n/fill_en.py
Every source text must have an English one: the script says which lack it.
"""
import html
import re
import sys
from pathlib import Path

ENGLISH = {
    "入力して RETURN": "Type and press RETURN",
    "\n\n[終了しました: 終了コード %1]\n": "\n\n[Finished: exit status %1]\n",
    "\n\n[異常終了しました]\n": "\n\n[Ended abnormally]\n",
    "[起動できませんでした: %1]\n%2\n": "[Could not start: %1]\n%2\n",
    "RETURN は自動で送られます": "RETURN is sent automatically",
    "①～④をまとめて実行": "Run (1) to (4)",
    "ファイルを開く": "Open file",
    "一時停止": "Pause",
    "停止": "Stop",
    "再生": "Play",
    "①音楽音解析": "(1) Analyse the sound",
    "①の結果をプロット": "Plot the result of (1)",
    "④1～3よりMIDIを生成": "(4) MIDI from (1) to (3)",
    "窓関数：": "Window:",
    "0づめしたフレーム長：": "Zero-padded length:",
    "フレーム長：": "Frame length:",
    "フレームシフト間隔：": "Frame shift:",
    "演奏速度：": "Tempo:",
    "最短音価：": "Shortest note:",
    "②クラスタリング": "(2) Link the peaks",
    "②の結果をプロット": "Plot the result of (2)",
    "③音高認識": "(3) Find the notes",
    "拍子：": "Time signature:",
    "ファイル名：": "File name:",
    "GM音色番号(1～128)：": "GM program (1-128):",
    "エラー": "Error",
    "MIDIファイル(*.mid)": "MIDI files (*.mid)",
    "①～④の実行中です。終わってからもう一度どうぞ。":
        "(1) to (4) are running. Try again when they have finished.",
    "終了": "Exit",
    "アプリケーションを終了しますか？": "Do you want to quit the application?",
    "演奏速度「%1」: 4 から 60000000 までの整数を入れてください（例: 120 _tempo）。":
        "Tempo \"%1\": enter a whole number from 4 to 60000000 (for example 120 _tempo).",
    "最短音価「%1」: 正の数を入れてください（例: 128 _分音符）。":
        "Shortest note \"%1\": enter a positive number (for example 128 _分音符).",
    "ファイル名が空です。ファイルを開くで録音を選んでください。":
        "The file name is empty. Choose a recording with Open file.",
    "フレームシフト間隔「%1」: 1 以上のミリ秒数を入れてください（例: 10 _msec）。":
        "Frame shift \"%1\": enter a number of milliseconds of at least 1 (for example 10 _msec).",
    "フレーム長「%1」: 2 以上の整数を入れてください（例: 512 _点）。":
        "Frame length \"%1\": enter a whole number of at least 2 (for example 512 _点).",
    "0づめしたフレーム長「%1」: フレーム長以上で、4 から 1048576 までの 2 のべき乗を入れてください（例: 4096 _点）。":
        "Zero-padded length \"%1\": enter a power of two from 4 to 1048576, not less than the "
        "frame length (for example 4096 _点).",
    "窓関数「%1」: ブラックマン窓・ハニング窓・ハミング窓・方形窓・三角窓・なし のどれかを入れてください。":
        "Window \"%1\": enter one of ブラックマン窓 (Blackman), ハニング窓 (Hanning), ハミング窓 "
        "(Hamming), 方形窓 (rectangular), 三角窓 (triangular) or なし (none).",
    "拍子「%1」: 「3 / 4」のように、1 から 255 までの分子と 2 のべき乗の分母を入れてください。":
        "Time signature \"%1\": enter it as \"3 / 4\": a numerator from 1 to 255 and a power of "
        "two as the denominator.",
    "GM音色番号「%1」: 1 から 128 までの整数を入れてください。":
        "GM program \"%1\": enter a whole number from 1 to 128.",
    "楽譜ファイル「%1」がありません。先に ③音高認識 を実行してください。":
        "There is no score \"%1\". Run (3) Find the notes first.",
    "解析するための Wave ファイル情報が見当たりません。":
        "No WAV file is open for the analysis. Open a recording first.",
    "SpecScan.txt がありません。先に ①音楽音解析 を実行してください。":
        "There is no SpecScan.txt. Run (1) Analyse the sound first.",
    "TrackJoin.txt がありません。先に ②クラスタリング を実行してください。":
        "There is no TrackJoin.txt. Run (2) Link the peaks first.",
    "err: デバイスが MIDI を参照しているため変換できません．":
        "err: the MIDI file is open for playback, so it cannot be written. Select WAVE first.",
    "何らかの原因で関数が正常に実行できませんでした。":
        "The program could not be started.",
    "ファイル名がありません。ファイルを開くで選んでください。":
        "There is no file name. Choose a file with Open file.",
    "「%1」をWAV ファイル（リニア PCM 8/16 ビット）として開けません。":
        "\"%1\" cannot be opened as a WAV file (linear PCM, 8 or 16 bits).",
    "「%1」をMIDI ファイルとして開けません。": "\"%1\" cannot be opened as a MIDI file.",
    "音声の出力先が見つかりません。再生は音なしで進みます。":
        "No audio output was found. Playback runs silently.",
    "ファイルを開けません。": "The file cannot be opened.",
    "RIFF WAVE ファイルではありません。": "It is not a RIFF WAVE file.",
    "再生できない形式です（リニア PCM 8/16 ビットのみ）。":
        "Its format cannot be played (linear PCM of 8 or 16 bits only).",
    "data チャンクがありません。": "It has no data chunk.",
    "MIDI ファイルではありません。": "It is not a MIDI file.",
    "GM 音色ファイル (sf2) が見つかりません。": "No General MIDI sound font (sf2) was found.",
    "音色ファイル「%1」を読めません。": "The sound font \"%1\" cannot be read.",
    "MIDI ファイルを読めません。": "The MIDI file cannot be read.",
    "指定されたデバイスは開かれていません。": "The device is not open.",
    "オープンエラー: %1\n%2": "Cannot open %1\n%2",
    "保存できません: %1\n%2": "Cannot save %1\n%2",
    "1. プロット（抽出したスペクトルピークを表示）": "1. Plot (the spectral peaks found)",
    "2. プロット（接続したスペクトルピークを表示）": "2. Plot (the linked spectral peaks)",
    "3. ピアノロール（認識した音符を表示） - %1": "3. Piano roll (the notes found) - %1",
    "ピークも表示 (SpecScan.txt)": "Show the peaks too (SpecScan.txt)",
    "楽譜 %1 がありません。③音高認識を先に実行してください。":
        "There is no score %1. Run (3) Find the notes first.",
    "楽譜を読めません: %1\n%2": "Cannot read the score %1\n%2",
    "ピアノロールを表示": "Show the piano roll",
    "音声ファイル(*.wav *.flac *.mp3 *.m4a *.aac *.ogg *.oga *.opus *.aif *.aiff *.caf *.mp4 *.mkv *.webm *.mov);;すべてのファイル(*)":
        "Audio files (*.wav *.flac *.mp3 *.m4a *.aac *.ogg *.oga *.opus *.aif *.aiff *.caf *.mp4 "
        "*.mkv *.webm *.mov);;All files (*)",
    "「%1」を変換しています…": "Converting \"%1\"...",
    "「%1」を録音として読めません。": "\"%1\" cannot be read as a recording.",
}


def main():
    path = Path(__file__).with_name("sonvola_en.ts")
    text = path.read_text(encoding="utf-8")
    missing = []

    def fill(match):
        source = html.unescape(match.group(2))
        english = ENGLISH.get(source)
        if english is None:
            missing.append(source)
            return match.group(0)
        return (match.group(1) + "<translation>" + html.escape(english, quote=False) +
                "</translation>")

    text = re.sub(r'(<source>(.*?)</source>\s*(?:<comment>.*?</comment>\s*)?)'
                  r'<translation[^>]*>.*?</translation>', fill, text, flags=re.S)
    path.write_text(text, encoding="utf-8")
    for m in missing:
        print("no English for:", repr(m), file=sys.stderr)
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
